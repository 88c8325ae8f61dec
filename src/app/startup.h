#pragma once

#include <windows.h>

// The program's entry: globals, exit routine, archiver image, window, message loop.
int RunProgram(HINSTANCE instance);
// Writes the carried archiver image into the temporary folder and makes that
// folder the first searched for the program's libraries.
void PrepareArchiver();
