// GBK paths turned into UTF-16 for the wide file functions, so that a program
// folder with Chinese characters works whatever the system's ANSI code page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// UTF-16LE bytes of a GBK text (code page 936) with its terminating NUL; an
// empty text gives an empty buffer.
std::vector<std::uint8_t> GbkToUtf16(const std::string& text);
// The GBK text (code page 936) of length UTF-16 units; empty for length 0 or less.
std::string Utf16ToGbk(const wchar_t* units, int length);
bool IsExistingFolder(const std::string& path);
// Creates the folder and its missing parents; true when it exists afterwards.
bool CreateFolderPath(const std::string& path);
