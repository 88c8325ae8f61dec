// Names of a task's files in its save folder: pure text rules, free of Win32.
#pragma once

#include <string>

// A name that stands for one file in the save folder: not empty, no folder
// separators or characters Windows refuses, not "." or "..", no trailing dot or blank.
bool IsPlainFileName(const std::wstring& name);

// The n-th free-name candidate: "clip.mp4" -> "clip(n).mp4", "clip" -> "clip(n)".
// n 0 is the name itself.
std::wstring NumberedName(const std::wstring& name, int n);

// folder + one backslash + name.
std::wstring JoinFolder(const std::wstring& folder, const std::wstring& name);

// The file a download grows in, and its resume record, beside the final name.
std::wstring PartialName(const std::wstring& finalPath);
std::wstring ResumeRecordName(const std::wstring& finalPath);
