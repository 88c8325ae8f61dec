#include "engine/library_binding.h"

#include <string>

FARPROC BindLibraryFunction(const wchar_t* library, const char* function) {
    HMODULE module = GetModuleHandleW(library);
    if (!module) module = LoadLibraryW(library);
    FARPROC address = module ? GetProcAddress(module, function) : nullptr;
    if (address) return address;
    std::wstring text = std::wstring(L"无法加载组件 ") + library;
    if (module) {
        text += L" 中的函数 ";
        for (const char* c = function; *c; ++c) text += static_cast<wchar_t>(*c);
    }
    text += L"，程序将退出。";
    MessageBoxW(nullptr, text.c_str(), L"Quillmere", MB_OK | MB_ICONERROR | MB_TASKMODAL);
    ExitProcess(1);
}
