// Deployment of the download engine from the archive the program carries, and
// the small extraction module around the archiver library. The archiver is
// bound on first use from the library folder (the temporary folder, where
// start-up wrote it), and only when the engine has to be deployed.
#include "engine/engine_deployment.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/carried_files.h"
#include "app/program_folder.h"
#include "app/wide_paths.h"
#include "engine/archiver_library.h"
#include "engine/library_binding.h"
#include "engine/xl_engine.h"

namespace {

enum ExtractControl { ExtractGoOn = 0, ExtractCancel = 1, ExtractPause = 2 };

struct WaitRequest {
    DWORD delayMs = 0;
    DWORD threadId = 0;
    UINT messageNumber = 0;
};

struct ExtractionState {
    std::atomic<int> extractControl{ExtractGoOn};
    ExtractProgressHandler extractProgressHandler = nullptr;
    WaitRequest waitRequest;
};

std::unique_ptr<ExtractionState> extractionState;

// The two engine calls of the deployment, bound like every engine function on
// first use, after the library folder has been pointed at the engine.
using XlInitFunction = BOOL(WINAPI*)();
using XlSetMiniTpPathFunction = void(WINAPI*)(const wchar_t* path);

BOOL EngineInit() {
    return BindLibraryFunctionAs<XlInitFunction>(L"xldl.dll", "XL_Init")();
}

void EngineSetMiniTpPath(const wchar_t* path) {
    BindLibraryFunctionAs<XlSetMiniTpPathFunction>(L"xldl.dll", "XL_SetMiniTpPath")(path);
}

ExtractionState& State() {
    if (!extractionState) extractionState = std::make_unique<ExtractionState>();
    return *extractionState;
}

const wchar_t* WidePointer(const std::vector<std::uint8_t>& wide) {
    return wide.empty() ? L"" : reinterpret_cast<const wchar_t*>(wide.data());
}

std::string TemporaryFolder() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    return length == 0 || length > MAX_PATH ? std::string() : Utf16ToGbk(temp, static_cast<int>(length));
}

bool FileExists(const std::string& path) {
    const std::vector<std::uint8_t> wide = GbkToUtf16(path);
    return !wide.empty() && GetFileAttributesW(WidePointer(wide)) != INVALID_FILE_ATTRIBUTES;
}

void StartHidden(const std::string& program) {
    std::vector<std::uint8_t> wide = GbkToUtf16(program);
    if (wide.empty()) return;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(WidePointer(wide), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return;
    WaitForInputIdle(process.hProcess, 1000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

void DeployEngine(const std::string& basePath) {
    const std::string archive = TemporaryFolder() + "download.7z";
    const std::vector<std::uint8_t> wideArchive = GbkToUtf16(archive);
    (void)WriteCarriedFile(kEngineArchiveResource, WidePointer(wideArchive));
    (void)ExtractArchive(archive, basePath);
    DeleteFileW(WidePointer(wideArchive));
    const std::vector<std::uint8_t> engineFolder = GbkToUtf16(basePath + "\\XLDld\\");
    SetFileAttributesW(WidePointer(engineFolder),
                       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

DWORD WINAPI PostAfterDelay(LPVOID request) {
    const WaitRequest wait = *static_cast<const WaitRequest*>(request);
    Sleep(wait.delayMs);
    PostThreadMessageW(wait.threadId, wait.messageNumber, 0, 0);
    return 0;
}

bool EndsWait(UINT message, UINT privateMessage) {
    return message == privateMessage || message == WM_CLOSE || message == WM_QUIT;
}

std::vector<std::string> SplitAt(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        pieces.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return pieces;
        start = end + 1;
    }
}

}  // namespace

void CreateExtractionState() { State(); }

void FreeExtractionState() { extractionState.reset(); }

bool XlEngine::Init(std::string& basePath, bool deploy, bool launchMiniTpFw, bool allowMiniTpFw) {
    if (!basePath.empty() && basePath.back() == '\\') basePath.pop_back();
    if (allowMiniTpFw && launchMiniTpFw) StartHidden(basePath + "\\XLDld\\MiniTPFw.exe");
    if (!deploy) return EngineInit() != FALSE;
    if (!FileExists(basePath + "\\XLDld\\MiniThunderPlatform.exe")) DeployEngine(basePath);
    const std::vector<std::uint8_t> engineFolder = GbkToUtf16(basePath + "\\XLDld");
    SetDllDirectoryW(WidePointer(engineFolder));
    const std::vector<std::uint8_t> host = WideBytes(basePath + "\\XLDld\\MiniThunderPlatform.exe");
    EngineSetMiniTpPath(WidePointer(host));
    return EngineInit() != FALSE;
}

std::string ExtractCommand(const std::string& archivePath, const std::string& outputFolder, bool withoutPaths,
                           const std::string& password, const std::string& fileList) {
    std::string folder = outputFolder;
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    std::string files;
    if (!fileList.empty()) {
        for (const std::string& piece : SplitAt(fileList, ',')) files += "\"" + piece + "\" ";
    }
    if (files.empty()) files = "*";
    return std::string(withoutPaths ? "e " : "x ") + " \"" + archivePath + "\" -hide -y \"" + folder + "\" " + files +
           " -p\"" + password + "\"";
}

bool ExtractArchive(const std::string& archivePath, const std::string& outputFolder, std::optional<bool> withoutPaths,
                    std::optional<std::string> password, std::optional<ExtractProgressHandler> progressHandler,
                    std::optional<std::string> fileList) {
    ExtractionState& state = State();
    state.extractControl = ExtractGoOn;
    (void)MakeFolderChain(outputFolder);
    const ArchiverFunctions& archiver = ArchiverLibrary();
    archiver.setOwnerWindowEx(nullptr, ArchiverProgressHook);
    state.extractProgressHandler = progressHandler.value_or(nullptr);
    const std::string command = ExtractCommand(archivePath, outputFolder, withoutPaths.value_or(false),
                                               password.value_or(""), fileList.value_or(""));
    char output[1] = {'\0'};
    return archiver.sevenZip(nullptr, command.c_str(), output, 0) == 0;
}

bool MakeFolderChain(const std::string& path) {
    const std::vector<std::string> pieces = SplitAt(path, '\\');
    if (pieces.size() < 2) return false;
    if (pieces[0].size() != 2 || pieces[0][1] != ':') return false;
    std::string current = pieces[0];
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        const std::string& piece = pieces[i];
        if (piece.empty() || piece == "." || piece == "..") return false;
        current += "\\" + piece;
        if (IsExistingFolder(current)) {
            if (i + 1 == pieces.size()) return true;
            continue;
        }
        const std::vector<std::uint8_t> wide = GbkToUtf16(current);
        if (!CreateDirectoryW(WidePointer(wide), nullptr)) return false;
    }
    return true;
}

BOOL WINAPI ArchiverProgressHook(HWND, UINT, UINT state, LPVOID info) {
    ExtractionState& module = State();
    while (module.extractControl == ExtractPause) WaitWithMessages(500);
    if (module.extractControl == ExtractCancel) return FALSE;
    module.extractControl = ExtractGoOn;
    if (!module.extractProgressHandler) return TRUE;
    if (state == kArchiverEndNotification) {
        module.extractProgressHandler("", 100);
        return TRUE;
    }
    const ArchiverProgress progress = ReadArchiverProgress(info);
    // An empty file is complete as soon as it is named.
    const int percent = progress.fileSize == 0
                            ? 100
                            : static_cast<int>(static_cast<double>(progress.written) * 100.0 /
                                               static_cast<double>(progress.fileSize));
    std::string name = progress.fileName;
    const std::string runFolder = ProgramFolder();
    const std::size_t at = runFolder.empty() ? std::string::npos : name.find(runFolder);
    if (at != std::string::npos) name.erase(at, runFolder.size());
    module.extractProgressHandler(name, percent);
    return TRUE;
}

void WaitWithMessages(DWORD milliseconds) {
    WaitRequest& request = State().waitRequest;
    request = {milliseconds, GetCurrentThreadId(), RegisterWindowMessageW(L"我是延迟我怕谁?")};
    if (HANDLE thread = CreateThread(nullptr, 0, PostAfterDelay, &request, 0, nullptr)) CloseHandle(thread);
    for (;;) {
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE) && EndsWait(message.message, request.messageNumber))
            return;
        if (GetMessageW(&message, nullptr, 0, 0) <= 0) {
            PostQuitMessage(static_cast<int>(message.wParam));  // keep the quit for the caller's loop
            return;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
        if (message.message == WM_CLOSE) {
            PostThreadMessageW(GetCurrentThreadId(), WM_CLOSE, 0, 0);
            return;
        }
        if (message.message == request.messageNumber) return;
    }
}
