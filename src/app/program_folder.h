#pragma once

#include <string>

// The folder of the program file as the system reports it, GBK, without a
// trailing backslash (D:\tools\grab for D:\tools\grab\Quillmere.exe).
std::string ProgramFolder();
