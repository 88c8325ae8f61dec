#include "common/resume_record.h"

namespace {

const char kMagic[4] = {'Q', 'M', 'R', '1'};

void Put(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

struct Reader {
    const std::string& bytes;
    std::size_t at = 0;

    bool Get(std::uint64_t& value, int count) {
        if (bytes.size() - at < static_cast<std::size_t>(count)) return false;
        value = 0;
        for (int i = 0; i < count; ++i)
            value |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
        at += static_cast<std::size_t>(count);
        return true;
    }
};

}  // namespace

std::string EncodeResumeRecord(const ResumeRecord& record) {
    std::string out(kMagic, sizeof kMagic);
    Put(out, static_cast<std::uint64_t>(record.total), 8);
    Put(out, record.missing.size(), 4);
    for (const auto& range : record.missing) {
        Put(out, static_cast<std::uint64_t>(range.first), 8);
        Put(out, static_cast<std::uint64_t>(range.second), 8);
    }
    Put(out, record.url.size(), 4);
    for (const wchar_t unit : record.url) Put(out, static_cast<std::uint16_t>(unit), 2);
    return out;
}

std::optional<ResumeRecord> DecodeResumeRecord(const std::string& bytes) {
    if (bytes.size() < sizeof kMagic || bytes.compare(0, sizeof kMagic, kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    Reader in{bytes, sizeof kMagic};
    ResumeRecord record;
    std::uint64_t total = 0, count = 0;
    if (!in.Get(total, 8) || !in.Get(count, 4) || static_cast<std::int64_t>(total) < 0) return std::nullopt;
    record.total = static_cast<std::int64_t>(total);
    if (count > (bytes.size() - in.at) / 16) return std::nullopt;
    std::int64_t previousEnd = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint64_t from = 0, to = 0;
        if (!in.Get(from, 8) || !in.Get(to, 8)) return std::nullopt;
        const auto first = static_cast<std::int64_t>(from), last = static_cast<std::int64_t>(to);
        if (first < previousEnd || last <= first || last > record.total) return std::nullopt;
        record.missing.emplace_back(first, last);
        previousEnd = last;
    }
    std::uint64_t length = 0;
    if (!in.Get(length, 4) || length != (bytes.size() - in.at) / 2 || (bytes.size() - in.at) % 2) return std::nullopt;
    for (std::uint64_t i = 0; i < length; ++i) {
        std::uint64_t unit = 0;
        in.Get(unit, 2);
        record.url += static_cast<wchar_t>(unit);
    }
    return record;
}
