#include "host/download_task.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <thread>
#include <utility>

#include "common/file_names.h"
#include "common/http_rules.h"
#include "host/part_file.h"

namespace {

constexpr DWORD kReadChunk = 256 << 10;
constexpr int kMaxNumberedNames = 10000;
// An attempt that brought less than this before failing counts as no progress,
// so a server that trickles a few bytes and stalls still ends in a time-out.
constexpr std::int64_t kProgressBytes = 64 << 10;
using Clock = std::chrono::steady_clock;

// The text of a record field, or none when no NUL ends it within the field.
template <std::size_t Length>
std::optional<std::wstring> FieldText(const wchar_t (&field)[Length]) {
    const std::size_t used = wcsnlen(field, Length);
    if (used == Length) return std::nullopt;
    return std::wstring(field, used);
}

bool ShouldEnd(const DownloadTask& task) { return task.stopRequested || task.failed; }

std::int64_t Downloaded(const DownloadTask& task) {
    if (task.plan.empty()) return 0;
    if (task.total < 0) return task.plan.front().pos;
    return task.total - RemainingBytes(task.plan);
}

// Records the first fatal failure and makes every connection give up.
void Fail(DownloadTask& task, std::int32_t code) {
    std::lock_guard<std::mutex> guard(task.lock);
    if (!task.failed) task.failCode = code;
    task.failed = true;
    task.wake.notify_all();
}

// After a failed attempt: waits the back-off and says whether to try again,
// or records the failure when trying again cannot help or has been tried enough.
bool RetryAfter(DownloadTask& task, const FetchFailure& failure, int& attempts) {
    if (!failure.retry || ++attempts >= task.retry.attemptsWithoutProgress) {
        Fail(task, failure.code);
        return false;
    }
    DWORD wait = task.retry.backoffMs;
    for (int i = 1; i < attempts && wait < task.retry.maxBackoffMs; ++i) wait *= 2;
    wait = std::min(wait, task.retry.maxBackoffMs);
    std::unique_lock<std::mutex> guard(task.lock);
    task.wake.wait_for(guard, std::chrono::milliseconds(wait), [&] { return ShouldEnd(task); });
    return !ShouldEnd(task);
}

FetchSettings FetchSettingsOf(const DownloadTask& task) {
    return FetchSettings{task.settings.referer, task.settings.cookies, task.retry.timeoutMs};
}

// Fetches one piece until it is complete, the task ends, or retries run out.
void FetchPiece(DownloadTask& task, std::size_t index, std::vector<char>& buffer) {
    int attempts = 0;
    // Without ranges every attempt starts the file again, so only bytes beyond
    // the furthest point reached before are progress; a server that always
    // ends the body early then runs out of attempts instead of being asked for ever.
    std::int64_t furthest = 0;
    {
        std::lock_guard<std::mutex> guard(task.lock);
        furthest = task.plan[index].pos;
    }
    for (;;) {
        std::unique_ptr<FetchResponse> response;
        std::int64_t pos = 0, end = 0;
        {
            std::lock_guard<std::mutex> guard(task.lock);
            Piece& piece = task.plan[index];
            // Without ranges every new request starts the file again.
            if (!task.rangesSupported && !task.probe) piece.pos = 0;
            pos = piece.pos;
            end = piece.end;
            if (pos >= end || ShouldEnd(task)) return;
            if (task.probe && pos == task.probeFrom) response = std::move(task.probe);
        }
        FetchFailure failure;
        if (!response) {
            response = std::make_unique<FetchResponse>();
            if (!OpenFetch(task.settings.url, task.rangesSupported, pos, end == kUnknownEnd ? -1 : end,
                           FetchSettingsOf(task), *response, failure)) {
                if (!RetryAfter(task, failure, attempts)) return;
                continue;
            }
            const bool fits = task.rangesSupported
                                  ? response->status == 206 && response->contentRange &&
                                        response->contentRange->first == pos &&
                                        response->contentRange->total == task.total
                                  : response->status == 200;
            if (!fits) {
                Fail(task, TASK_ERROR_DOWN_INVALID);
                return;
            }
        }
        ++task.receiving;
        bool dropped = false;
        std::int64_t received = 0;
        for (;;) {
            std::int64_t allowed = 0;
            {
                std::lock_guard<std::mutex> guard(task.lock);
                allowed = task.plan[index].end - task.plan[index].pos;
            }
            if (allowed <= 0 || ShouldEnd(task)) break;
            const DWORD want = static_cast<DWORD>(std::min<std::int64_t>(allowed, kReadChunk));
            const auto read = ReadFetch(*response, buffer.data(), want, failure);
            if (!read) {
                dropped = true;
                break;
            }
            std::unique_lock<std::mutex> guard(task.lock);
            Piece& piece = task.plan[index];
            if (*read == 0) {
                if (piece.end != kUnknownEnd) {
                    failure = {true, TASK_ERROR_HTTPMGR_NOT_IP};  // the body ended early
                    dropped = true;
                } else {
                    piece.end = piece.pos;
                    task.total = piece.pos;
                }
                break;
            }
            if (!WriteAt(task.partial.Get(), piece.pos, buffer.data(), *read)) {
                guard.unlock();
                Fail(task, TASK_ERROR_DISK_WRITE);
                break;
            }
            // A piece cut short by an idle connection meanwhile ends at the cut;
            // the bytes written past it are the same bytes the other one fetches.
            const std::int64_t before = std::max(piece.pos, furthest);
            piece.pos = std::min(piece.pos + static_cast<std::int64_t>(*read), piece.end);
            if (piece.pos > before) {
                received += piece.pos - before;
                furthest = piece.pos;
            }
            if (received >= kProgressBytes) attempts = 0;
        }
        --task.receiving;
        if (!dropped) return;
        if (!RetryAfter(task, failure, attempts)) return;
    }
}

void RunWorker(const std::shared_ptr<DownloadTask>& task) {
    std::vector<char> buffer(kReadChunk);
    for (;;) {
        std::optional<std::size_t> index;
        {
            std::lock_guard<std::mutex> guard(task->lock);
            if (ShouldEnd(*task)) return;
            index = TakePiece(task->plan, task->pieces);
        }
        if (!index) return;
        FetchPiece(*task, *index, buffer);
        std::lock_guard<std::mutex> guard(task->lock);
        task->plan[*index].owned = false;
    }
}

ResumeRecord RecordOf(const DownloadTask& task) {
    ResumeRecord record{task.settings.url, task.total, {}};
    std::vector<Piece> missing = task.plan;
    std::sort(missing.begin(), missing.end(), [](const Piece& a, const Piece& b) { return a.pos < b.pos; });
    for (const Piece& piece : missing) {
        if (piece.Remaining() <= 0) continue;
        if (!record.missing.empty() && record.missing.back().second >= piece.pos)
            record.missing.back().second = std::max(record.missing.back().second, piece.end);
        else
            record.missing.emplace_back(piece.pos, piece.end);
    }
    return record;
}

void SaveResumeRecord(DownloadTask& task) {
    ResumeRecord record;
    {
        std::lock_guard<std::mutex> guard(task.lock);
        if (!task.rangesSupported || task.total < 0 || task.finalPath.empty()) return;
        record = RecordOf(task);
    }
    WriteResumeRecord(ResumeRecordName(task.finalPath), record);
}

// The first free name in the folder, or none when renaming is disabled and the
// name is taken (or no numbered name is free).
std::optional<std::wstring> FreeFinalPath(const TaskSettings& settings, int firstNumber) {
    for (int n = firstNumber; n < kMaxNumberedNames; ++n) {
        const std::wstring path = JoinFolder(settings.folder, NumberedName(settings.name, n));
        if (!PathExists(path)) return path;
        if (settings.disableAutoRename) return std::nullopt;
    }
    return std::nullopt;
}

// Chooses the name and opens the partial file: the task's own after a stop, a
// resumable one when asked for, a fresh one otherwise. The record to resume from.
std::optional<ResumeRecord> OpenFiles(DownloadTask& task, bool& ok) {
    ok = false;
    std::optional<ResumeRecord> record;
    bool keep = false;
    if (task.started) {
        keep = true;
    } else {
        const auto path = FreeFinalPath(task.settings, 0);
        if (!path) return std::nullopt;
        std::lock_guard<std::mutex> guard(task.lock);
        task.finalPath = *path;
    }
    if (keep || task.settings.resume) {
        record = ReadResumeRecord(ResumeRecordName(task.finalPath));
        if (record && record->url != task.settings.url) record.reset();
        keep = keep || record.has_value();
    }
    FileHandle file = OpenPartial(PartialName(task.finalPath), keep);
    if (!file) return std::nullopt;
    std::lock_guard<std::mutex> guard(task.lock);
    task.partial = std::move(file);
    task.started = true;
    task.creatingFile = false;
    ok = true;
    return record;
}

// Asks the server once and plans the pieces from its answer; false when the task failed.
bool Probe(DownloadTask& task, const std::optional<ResumeRecord>& record) {
    // Asking from the first missing byte lets the answer serve that piece right away.
    const std::int64_t from = record && !record->missing.empty() ? record->missing.front().first : 0;
    int attempts = 0;
    auto response = std::make_unique<FetchResponse>();
    FetchFailure failure;
    while (!OpenFetch(task.settings.url, true, from, -1, FetchSettingsOf(task), *response, failure))
        if (!RetryAfter(task, failure, attempts)) return false;
    bool ranges = false;
    std::int64_t total = -1;
    if (response->status == 206 && response->contentRange && response->contentRange->first == from &&
        response->contentRange->total >= 0) {
        ranges = true;
        total = response->contentRange->total;
    } else if (response->status == 200) {
        total = response->contentLength.value_or(-1);
    } else {
        Fail(task, TASK_ERROR_DOWN_INVALID);
        return false;
    }
    const bool resumable = ranges && record && record->total == total;
    if (!resumable && !Truncate(task.partial.Get())) {
        Fail(task, TASK_ERROR_DISK_WRITE);
        return false;
    }
    std::lock_guard<std::mutex> guard(task.lock);
    task.rangesSupported = ranges;
    task.total = total;
    task.originUsable = true;
    task.plan.clear();
    if (resumable) {
        for (const auto& range : record->missing) task.plan.push_back(Piece{range.first, range.second, false});
    } else {
        task.plan = PlanPieces(total, ranges, task.pieces);
    }
    task.probe = std::move(response);
    task.probeFrom = ranges ? from : 0;
    if (!task.stopRequested) task.stat = TSC_DOWNLOAD;
    return true;
}

// Runs one worker per piece (at most the connection limit) while keeping the
// speed and the resume record up to date.
void Transfer(const std::shared_ptr<DownloadTask>& task) {
    std::size_t connections = 0;
    {
        std::lock_guard<std::mutex> guard(task->lock);
        for (const Piece& piece : task->plan) connections += piece.Remaining() > 0 ? 1 : 0;
    }
    connections = std::min<std::size_t>(connections, static_cast<std::size_t>(std::max(1, task->pieces.maxConnections)));
    std::atomic<std::size_t> active{connections};
    std::vector<std::thread> workers;
    for (std::size_t i = 0; i < connections; ++i)
        workers.emplace_back([task, &active] {
            RunWorker(task);
            --active;
            task->wake.notify_all();
        });
    std::deque<std::pair<Clock::time_point, std::int64_t>> samples;
    auto lastSave = Clock::now();
    while (active > 0) {
        {
            std::unique_lock<std::mutex> guard(task->lock);
            task->wake.wait_for(guard, std::chrono::milliseconds(200), [&] { return active == 0; });
            const auto now = Clock::now();
            samples.emplace_back(now, Downloaded(*task));
            while (samples.size() > 2 && now - samples.front().first > std::chrono::seconds(2)) samples.pop_front();
            const double seconds = std::chrono::duration<double>(now - samples.front().first).count();
            task->speed = seconds > 0.1 ? static_cast<std::int32_t>(
                                              std::min(2.0e9, (samples.back().second - samples.front().second) / seconds))
                                        : 0;
        }
        if (Clock::now() - lastSave > std::chrono::seconds(1)) {
            SaveResumeRecord(*task);
            lastSave = Clock::now();
        }
    }
    for (std::thread& worker : workers) worker.join();
}

// Gives the complete file its final name; the failure code, or 0.
std::int32_t Finish(DownloadTask& task) {
    const auto length = FileLength(task.partial.Get());
    task.partial.Reset();
    if (!length || (task.total >= 0 && *length != task.total)) return TASK_ERROR_DISK_FILEHASH;
    const std::wstring chosen = task.finalPath;
    const std::wstring partial = PartialName(chosen);
    for (int n = 1; !MoveToFinalName(partial, task.finalPath); ++n) {
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return TASK_ERROR_DISK_RENAME;
        // Someone took the name while we downloaded: pick the next free one.
        const auto next = FreeFinalPath(task.settings, n);
        if (!next) return TASK_ERROR_DISK_CREATE;
        std::lock_guard<std::mutex> guard(task.lock);
        task.finalPath = *next;
    }
    DeleteFileW(ResumeRecordName(chosen).c_str());
    return 0;
}

void RemovePartialFiles(DownloadTask& task) {
    task.partial.Reset();
    if (task.finalPath.empty()) return;
    DeleteFileW(PartialName(task.finalPath).c_str());
    DeleteFileW(ResumeRecordName(task.finalPath).c_str());
}

void RunDownload(const std::shared_ptr<DownloadTask>& task) {
    bool opened = false;
    const auto record = OpenFiles(*task, opened);
    if (!opened) Fail(*task, TASK_ERROR_DISK_CREATE);
    if (opened && !ShouldEnd(*task) && Probe(*task, record)) Transfer(task);

    bool complete = false;
    {
        std::lock_guard<std::mutex> guard(task->lock);
        task->probe.reset();
        complete = !task->failed && !task->stopRequested && RemainingBytes(task->plan) == 0 && !task->plan.empty();
    }
    std::int32_t finishFailure = 0;
    if (complete) {
        finishFailure = Finish(*task);
    } else if (opened) {
        SaveResumeRecord(*task);
    }
    std::lock_guard<std::mutex> guard(task->lock);
    task->receiving = 0;
    task->speed = 0;
    if (complete && finishFailure == 0) {
        task->stat = TSC_COMPLETE;
    } else if (complete || task->failed) {
        task->stat = TSC_ERROR;
        task->failCode = complete ? finishFailure : task->failCode;
    } else {
        task->stat = TSC_PAUSE;
    }
    if (task->stat != TSC_COMPLETE) task->partial.Reset();
    if (task->deleted && task->stat != TSC_COMPLETE) RemovePartialFiles(*task);
    task->running = false;
    task->wake.notify_all();
}

}  // namespace

std::shared_ptr<DownloadTask> NewDownloadTask(const DownTaskParam& param, const RetryPolicy& retry) {
    const auto url = FieldText(param.szTaskUrl);
    const auto referer = FieldText(param.szRefUrl);
    const auto cookies = FieldText(param.szCookies);
    const auto name = FieldText(param.szFilename);
    const auto folder = FieldText(param.szSavePath);
    if (!url || !referer || !cookies || !name || !folder) return nullptr;
    if (!IsDownloadAddress(*url) || !IsPlainFileName(*name) || folder->empty() || !IsFolder(*folder)) return nullptr;
    auto task = std::make_shared<DownloadTask>();
    task->settings = TaskSettings{*url, *referer, *cookies, *folder, *name, param.DisableAutoRename == 1,
                                  param.IsResume == 1};
    task->retry = retry;
    return task;
}

bool StartDownload(const std::shared_ptr<DownloadTask>& task) {
    std::lock_guard<std::mutex> guard(task->lock);
    if (task->deleted) return false;
    if (task->running) return !task->stopRequested;
    if (task->stat == TSC_COMPLETE) return true;
    task->stat = TSC_STARTPENDING;
    task->failCode = 0;
    task->stopRequested = false;
    task->failed = false;
    task->running = true;
    std::thread([task] { RunDownload(task); }).detach();
    return true;
}

bool StopDownload(DownloadTask& task) {
    std::lock_guard<std::mutex> guard(task.lock);
    if (!task.running) return true;
    task.stopRequested = true;
    task.stat = TSC_STOPPENDING;
    task.wake.notify_all();
    return true;
}

void DeleteDownload(const std::shared_ptr<DownloadTask>& task) {
    std::lock_guard<std::mutex> guard(task->lock);
    task->deleted = true;
    task->stopRequested = true;
    task->wake.notify_all();
    if (!task->running && task->stat != TSC_COMPLETE) RemovePartialFiles(*task);
}

bool DownloadRunning(DownloadTask& task) {
    std::lock_guard<std::mutex> guard(task.lock);
    return task.running;
}

DownTaskInfo DownloadInfo(DownloadTask& task) {
    DownTaskInfo info;
    std::memset(&info, 0, sizeof info);
    std::lock_guard<std::mutex> guard(task.lock);
    info.stat = task.stat;
    info.fail_code = task.stat == TSC_ERROR ? task.failCode : 0;
    const std::wstring name = task.finalPath.substr(task.finalPath.find_last_of(L'\\') + 1);
    if (!task.finalPath.empty() && name.size() < XL_PATH_FIELD_LENGTH)
        std::memcpy(info.szFilename, name.c_str(), name.size() * sizeof(wchar_t));
    const std::int64_t downloaded = Downloaded(task);
    info.nTotalSize = std::max<std::int64_t>(task.total, 0);
    info.nTotalDownload = downloaded;
    info.nDonationOrgin = downloaded;
    if (task.stat == TSC_COMPLETE) {
        info.fPercent = 1.0f;
    } else if (task.total > 0) {
        // Never 1 before the file stands under its final name: callers take 1 for done.
        info.fPercent = std::min(static_cast<float>(static_cast<double>(downloaded) / task.total), 0.999f);
    }
    info.nSrcTotal = 1;
    info.nSrcUsing = task.receiving;
    info.nSpeed = task.speed;
    info.bIsOriginUsable = task.originUsable ? 1 : 0;
    info.IsCreatingFile = task.creatingFile && task.running ? 1 : 0;
    return info;
}
