// One download of the host: its settings, its live state, and the routines
// that start, stop and read it. A started task runs a controller thread that
// chooses the file name, opens the partial file, asks the server once (the
// answer tells the size and whether ranges work), plans the pieces and runs
// one worker thread per connection until every piece has arrived; then the
// partial file takes its final name. Threads hold the task by shared_ptr, so a
// deleted task lives on until its threads have ended.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/piece_plan.h"
#include "common/win_handles.h"
#include "host/http_fetch.h"
#include "xldl.h"

struct TaskSettings {
    std::wstring url, referer, cookies, folder, name;
    bool disableAutoRename = false;
    bool resume = false;
};

// Time-outs and retries; the defaults suit real servers, tests shorten them.
struct RetryPolicy {
    DWORD timeoutMs = 30000;
    int attemptsWithoutProgress = 5;
    DWORD backoffMs = 500;     // doubled after every failed attempt
    DWORD maxBackoffMs = 8000;
};

struct DownloadTask {
    TaskSettings settings;
    RetryPolicy retry;
    PiecePolicy pieces;

    std::mutex lock;  // guards everything below that is not atomic
    std::condition_variable wake;  // stop requests cut back-off waits short
    int stat = TSC_NOITEM;
    int failCode = 0;
    bool running = false;         // a controller thread is at work
    bool started = false;         // the name is chosen and the partial file is ours
    bool deleted = false;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> failed{false};
    std::wstring finalPath;
    std::int64_t total = -1;      // -1: unknown
    bool rangesSupported = false;
    std::vector<Piece> plan;
    std::unique_ptr<FetchResponse> probe;  // the first answer, handed to the worker whose piece starts
    std::int64_t probeFrom = 0;            // where that answer's body starts
    FileHandle partial;
    bool originUsable = false;
    bool creatingFile = true;
    std::atomic<int> receiving{0};
    std::int32_t speed = 0;
};

// The settings of a new task from the client's record, or nullptr for bad input.
std::shared_ptr<DownloadTask> NewDownloadTask(const DownTaskParam& param, const RetryPolicy& retry);

bool StartDownload(const std::shared_ptr<DownloadTask>& task);
bool StopDownload(DownloadTask& task);
// Stops the task and removes its partial file (a complete file stays).
void DeleteDownload(const std::shared_ptr<DownloadTask>& task);
DownTaskInfo DownloadInfo(DownloadTask& task);
bool DownloadRunning(DownloadTask& task);
