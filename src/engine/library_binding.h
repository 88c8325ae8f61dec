// Binding of the outside libraries (the archiver, the download engine) on first
// use, from the library folder in force at that moment. A library or function
// that cannot be found leaves the program nothing to do: it says so and ends.
#pragma once

#include <windows.h>

// The address of a function of the library, loading the library on first use;
// ends the program with a message when either cannot be found.
FARPROC BindLibraryFunction(const wchar_t* library, const char* function);

// The same, typed: the function's address as the given function-pointer type.
template <typename Function>
Function BindLibraryFunctionAs(const wchar_t* library, const char* function) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(BindLibraryFunction(library, function)));
}
