#include "host/part_file.h"

#include <vector>

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

FileHandle OpenPartial(const std::wstring& path, bool keep) {
    return FileHandle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  keep ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool WriteAt(HANDLE file, std::int64_t offset, const void* data, DWORD length) {
    const auto* bytes = static_cast<const char*>(data);
    while (length > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
        at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
        DWORD written = 0;
        if (!WriteFile(file, bytes, length, &written, &at) || written == 0) return false;
        bytes += written;
        offset += written;
        length -= written;
    }
    return true;
}

bool Truncate(HANDLE file) {
    LARGE_INTEGER zero{};
    return SetFilePointerEx(file, zero, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

std::optional<std::int64_t> FileLength(HANDLE file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) return std::nullopt;
    return size.QuadPart;
}

std::optional<ResumeRecord> ReadResumeRecord(const std::wstring& path) {
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    const auto length = FileLength(file.Get());
    if (!length || *length > (16 << 20)) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(*length), '\0');
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size()))
        return std::nullopt;
    return DecodeResumeRecord(bytes);
}

void WriteResumeRecord(const std::wstring& path, const ResumeRecord& record) {
    const std::string bytes = EncodeResumeRecord(record);
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file) WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool MoveToFinalName(const std::wstring& partial, const std::wstring& finalPath) {
    return MoveFileExW(partial.c_str(), finalPath.c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
}
