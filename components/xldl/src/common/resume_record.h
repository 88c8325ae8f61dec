// The record beside a partial file that lets a later task continue it: the
// address it came from, the file's size and the byte ranges still missing.
// Pure encoding, free of Win32. Ranges are checked on reading, so a damaged
// record is refused rather than trusted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct ResumeRecord {
    std::wstring url;
    std::int64_t total = 0;
    std::vector<std::pair<std::int64_t, std::int64_t>> missing;  // [from, to), ascending, disjoint
};

std::string EncodeResumeRecord(const ResumeRecord& record);
std::optional<ResumeRecord> DecodeResumeRecord(const std::string& bytes);
