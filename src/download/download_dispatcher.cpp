// The dispatcher makes one pass over the table per start. The scan cycle ends
// the running pass and starts a new one; rather than killing the old thread
// (which could leave the heap, the list control's messaging or the engine
// locked), every pass does its work in steps under one pass lock and checks,
// inside the lock, that it is still the newest pass. StopDownloadThread takes
// the same lock to retire the pass, so once it returns the old pass does no
// further work. The lock is taken on the window's thread with sent messages
// still being delivered, since a pass step may be waiting on the table.
#include "download/download_dispatcher.h"

#include <windows.h>

#include <atomic>
#include <random>

#include "app/globals.h"
#include "app/program_folder.h"
#include "app/status_line.h"
#include "app/table.h"
#include "download/progress_monitor.h"

namespace {

constexpr long kInitialWorkers = 5;
constexpr int kMaxWorkers = 10;
constexpr DWORD kJobDonePollMs = 200;

std::atomic<unsigned> newestPass{0};

HANDLE PassLock() {
    static const HANDLE lock = CreateMutexW(nullptr, FALSE, nullptr);
    return lock;
}

// Holds the pass lock; on the window's thread the wait keeps delivering the
// messages that a pass step sends to the table and the status line.
class PassStep {
public:
    explicit PassStep(bool deliverSentMessages) {
        for (;;) {
            const DWORD wait = deliverSentMessages
                                   ? MsgWaitForMultipleObjects(1, &lockHandle, FALSE, INFINITE, QS_SENDMESSAGE)
                                   : WaitForSingleObject(lockHandle, INFINITE);
            if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED_0) return;
            MSG message;
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
    ~PassStep() { ReleaseMutex(lockHandle); }
    PassStep(const PassStep&) = delete;
    PassStep& operator=(const PassStep&) = delete;

private:
    HANDLE lockHandle = PassLock();
};

bool IsNewest(unsigned pass) { return newestPass.load() == pass; }

bool Taken(const std::string& status, const std::string& type) {
    return status == "未下载" || (status == "下载失败" && type != "直播");
}

// One row's step. Returns false when the pass must end.
bool DispatchRow(int row) {
    if (_pool->BusyCount() >= kInitialWorkers) return true;
    if (!Taken(TableCellText(row, ColumnStatus), TableCellText(row, ColumnType))) return true;

    const std::string fileName = TableCellText(row, ColumnId) + "_" + RandomLetters(5) + ".mp4";
    const std::string url = TrimBlanks(TableCellText(row, ColumnMediaUrl));
    const std::string savePath = ProgramFolder() + "\\video\\";

    const TaskHandle task = _engine->CreateTask(url, std::nullopt, std::nullopt, fileName, savePath, 1, 0, 0);
    if (task == 0) {
        ShowStatus("下载组件初始化失败！");
        return false;
    }
    if (!_engine->StartTask(task)) {
        ShowStatus("下载组件任务下载失败！");
        return false;
    }
    // A pool job carries 32-bit integers; our engine's handles are small task numbers.
    const bool fits = task <= 0xFFFFFFFFu;
    if (!fits || !_pool->Post(MonitorDownload, static_cast<std::uint32_t>(task), static_cast<std::uint32_t>(row))) {
        ShowStatus("线程投递失败，未知错误！");
        return false;
    }
    SetTableCell(row, ColumnStatus, "等待下载");
    return true;
}

void RunPass(unsigned pass) {
    int rows = 0;
    {
        PassStep step(false);
        if (!IsNewest(pass)) return;
        if (_pool->State() == Stopped && !_pool->Create(kInitialWorkers, kMaxWorkers, std::nullopt, true, std::nullopt)) {
            ShowStatus("线程池创建失败");
            return;
        }
        rows = TableRowCount();
    }
    for (int row = 0; row < rows; ++row) {
        PassStep step(false);
        if (!IsNewest(pass) || !DispatchRow(row)) return;
    }
    // Waits for the pool's job-done signal as one unlimited wait would, but in
    // slices, so that a pass replaced meanwhile ends instead of lingering.
    while (IsNewest(pass) && _pool->State() == Running) {
        if (_pool->WaitJobDone(kJobDonePollMs, false)) return;
    }
}

DWORD WINAPI DispatcherThread(LPVOID pass) {
    RunPass(static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(pass)));
    return 0;
}

}  // namespace

void DispatchDownloads() {
    RunPass(newestPass.load());
}

bool StartDownloadThread() {
    const unsigned pass = ++newestPass;
    HANDLE thread = CreateThread(nullptr, 0, DispatcherThread, reinterpret_cast<LPVOID>(static_cast<std::uintptr_t>(pass)),
                                 0, nullptr);
    // The replaced pass has been retired by StopDownloadThread; its handle is ours to release.
    if (_downloadThread) CloseHandle(_downloadThread);
    _downloadThread = thread;
    return thread != nullptr;
}

void StopDownloadThread() {
    PassStep step(true);
    ++newestPass;
}

std::string RandomLetters(int count) {
    static std::atomic<unsigned> reseeds{0};
    std::mt19937 generator(GetTickCount() + reseeds++);
    std::uniform_int_distribution<int> letter('a', 'z');
    std::string text;
    for (int i = 0; i < count; ++i) text += static_cast<char>(letter(generator));
    return text;
}

std::string TrimBlanks(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}
