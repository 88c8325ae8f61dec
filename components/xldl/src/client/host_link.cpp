#include "client/host_link.h"

namespace {

constexpr DWORD kHostStartMs = 15000;
constexpr DWORD kHostExitMs = 5000;

std::wstring LibraryFolder() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&Link), &self);
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

// A pipe name no other client or earlier host of this client uses.
std::wstring PipeName(std::uint32_t generation) {
    static LONG serial = 0;
    return L"\\\\.\\pipe\\quillmere-engine-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(generation) + L"-" + std::to_wstring(InterlockedIncrement(&serial)) + L"-" +
           std::to_wstring(GetTickCount());
}

void MarkDead(HostLink& link) {
    link.alive = false;
    link.pipe.Reset();
    // A host that broke its pipe but still runs is of no use: end it.
    if (link.process && WaitForSingleObject(link.process.Get(), 0) == WAIT_TIMEOUT)
        TerminateProcess(link.process.Get(), 1);
    link.process.Reset();
}

}  // namespace

HostLink& Link() {
    static HostLink link;
    return link;
}

bool EnsureHost(HostLink& link) {
    if (link.alive) return true;
    const std::wstring host = link.hostPath.empty() ? LibraryFolder() + L"\\MiniThunderPlatform.exe" : link.hostPath;
    const std::uint32_t generation = link.generation + 1;
    const std::wstring pipeName = PipeName(generation);
    std::wstring command = L"\"" + host + L"\" " + kClientSwitch + L" " + std::to_wstring(GetCurrentProcessId()) +
                           L" " + kPipeSwitch + L" " + pipeName;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(host.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &started))
        return false;
    KernelHandle process(started.hProcess);
    const KernelHandle thread(started.hThread);
    const DWORD begin = GetTickCount();
    for (;;) {
        FileHandle pipe(CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
        if (pipe) {
            link.process = std::move(process);
            link.pipe = std::move(pipe);
            link.generation = generation;
            link.alive = true;
            return true;
        }
        if (WaitForSingleObject(process.Get(), 10) != WAIT_TIMEOUT || GetTickCount() - begin > kHostStartMs) {
            TerminateProcess(process.Get(), 1);
            return false;
        }
    }
}

bool EndHost(HostLink& link) {
    if (!link.alive) {
        MarkDead(link);
        return false;
    }
    std::int32_t result = 0;
    Transact(link, EngineOp::Quit, 0, nullptr, 0, result, nullptr);
    link.pipe.Reset();
    if (link.process && WaitForSingleObject(link.process.Get(), kHostExitMs) == WAIT_TIMEOUT)
        TerminateProcess(link.process.Get(), 1);
    link.process.Reset();
    link.alive = false;
    return true;
}

bool Transact(HostLink& link, EngineOp op, std::uint32_t task, const void* payload, std::uint32_t payloadLength,
              std::int32_t& result, std::vector<char>* replyPayload) {
    if (!link.alive) return false;
    EngineRequest request;
    request.op = static_cast<std::uint32_t>(op);
    request.task = task;
    request.payloadLength = payloadLength;
    EngineReply reply;
    bool ok = PipeWriteAll(link.pipe.Get(), &request, sizeof request) &&
              (payloadLength == 0 || PipeWriteAll(link.pipe.Get(), payload, payloadLength)) &&
              PipeReadAll(link.pipe.Get(), &reply, sizeof reply) && reply.payloadLength <= kMaxEnginePayload;
    std::vector<char> received(ok ? reply.payloadLength : 0);
    ok = ok && (received.empty() || PipeReadAll(link.pipe.Get(), received.data(), reply.payloadLength));
    if (!ok) {
        MarkDead(link);
        return false;
    }
    result = reply.result;
    if (replyPayload) *replyPayload = std::move(received);
    return true;
}
