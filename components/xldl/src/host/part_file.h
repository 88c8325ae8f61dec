// The files of a download in its save folder: the partial file it grows in,
// its resume record, and the move to the final name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "common/resume_record.h"
#include "common/win_handles.h"

bool PathExists(const std::wstring& path);
bool IsFolder(const std::wstring& path);

// Opens the partial file, keeping its contents or emptying it.
FileHandle OpenPartial(const std::wstring& path, bool keep);
bool WriteAt(HANDLE file, std::int64_t offset, const void* data, DWORD length);
bool Truncate(HANDLE file);
std::optional<std::int64_t> FileLength(HANDLE file);

std::optional<ResumeRecord> ReadResumeRecord(const std::wstring& path);
void WriteResumeRecord(const std::wstring& path, const ResumeRecord& record);

// Moves without replacing; false with ERROR_ALREADY_EXISTS (or another error) left in GetLastError.
bool MoveToFinalName(const std::wstring& partial, const std::wstring& finalPath);
