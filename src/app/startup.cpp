#include "app/startup.h"

#include <commctrl.h>

#include <cstdlib>
#include <string>

#include "app/carried_files.h"
#include "app/globals.h"
#include "app/main_window.h"
#include "engine/engine_deployment.h"

namespace {

void ExitRoutine() {
    DestroyGlobals();
    FreeExtractionState();
}

}  // namespace

void PrepareArchiver() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return;
    SetDllDirectoryW(temp);
    const std::wstring path = std::wstring(temp) + L"7-zip32.dll";
    (void)WriteCarriedFile(kArchiverResource, path.c_str());
}

int RunProgram(HINSTANCE instance) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    ConstructGlobals();
    CreateExtractionState();
    std::atexit(ExitRoutine);
    PrepareArchiver();
    CreateMainWindow(instance);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
