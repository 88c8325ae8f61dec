// The long run: the real Quillmere.exe, from a fresh program folder with
// Chinese characters in its path, driven from outside for many minutes. The
// simulated WeChat "plays" a link every 5 to 15 seconds (seeded): new videos of
// varied sizes, links that answer 404, live streams, videos played again or
// held at several addresses, links with a known key but other text. The local
// CDN breaks the downloads of some videos for a while and then serves them
// well, so rows fail and later passes retry them. Every minute the program's
// handles and private memory are sampled. At the end every video must be
// listed once and lie byte-identical in the video folder, and the program must
// close cleanly. Prints a figures block and PASS or FAIL; exit code 0 on PASS.
//
//     long_run.exe [minutes (30)] [seed (1)] [CDN log file, a Unix path]
//
// Needs QUILLMERE_SOURCE and QUILLMERE_BUILD in the environment and a display
// (scripts/long-run.sh provides both).
#include "cdn_fixture.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "process_usage.h"
#include "program_under_test.h"
#include "remote_window.h"
#include "run_figures.h"
#include "simulated_wechat.h"
#include "test_folders.h"
#include "whole_road.h"

using namespace road;

namespace {

constexpr ULONGLONG kMinuteMs = 60000;
constexpr ULONGLONG kDrainLimitMs = 5 * kMinuteMs;
constexpr int kReadingsPerSample = 3;
// Once the work is done, the pool's extra workers end after their idle time-out (10 s).
constexpr DWORD kSettleMs = 15000;
// The window may be busy for a while with a link check; longer than this is a hang.
constexpr ULONGLONG kLongestSilenceMs = 30000;

// A row's cell and the status line telling of one failure.
constexpr ULONGLONG kSameFailureMs = 2500;

// What the program may gain after warm-up without a leak: a few handles that
// come and go with the work, and the memory of its growing table and lists.
constexpr long kHandleSlack = 16;
constexpr long long kMemorySlackBytes = 8 * 1024 * 1024;

ULONGLONG runStart = 0;

double MinutesSinceStart() { return static_cast<double>(GetTickCount64() - runStart) / kMinuteMs; }

void Log(const char* format, ...) {
    const ULONGLONG seconds = (GetTickCount64() - runStart) / 1000;
    std::printf("[%02llu:%02llu] ", seconds / 60, seconds % 60);
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::printf("\n");
    std::fflush(stdout);
}

int EngineProcesses() { return CountProcesses(L"MiniThunderPlatform.exe") + CountProcesses(L"MiniTPFw.exe"); }

struct Row {
    std::wstring id, type, link, status;
};

// The whole table, read once.
std::vector<Row> ReadTable(HWND table) {
    std::vector<Row> rows(static_cast<std::size_t>(std::max(remote::RowCount(table), 0)));
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const int index = static_cast<int>(row);
        rows[row] = {remote::CellText(table, index, 0), remote::CellText(table, index, 1),
                     remote::CellText(table, index, 2), remote::CellText(table, index, 3)};
    }
    return rows;
}

// The rows whose link carries the key.
std::vector<int> RowsOf(const std::vector<Row>& rows, const std::string& key) {
    std::vector<int> found;
    const std::wstring marker = Widen("encfilekey=" + key + "&");
    for (std::size_t row = 0; row < rows.size(); ++row)
        if (rows[row].link.find(marker) != std::wstring::npos) found.push_back(static_cast<int>(row));
    return found;
}

struct Video {
    std::string key;
    std::string link;  // the text played first
    std::size_t size = 0;
    unsigned seed = 0;  // of its bytes, made again for the comparison
};

struct LiveStream {
    std::string name;
    std::string link;  // the row's expected text
};

struct PendingClear {
    std::string key;
    ULONGLONG at = 0;
};

// The smaller of two readings; an unreadable one (-1 handles, 0 bytes) never wins.
template <typename Value>
void KeepLeast(Value& least, Value reading, Value unreadable) {
    if (reading == unreadable) return;
    if (least == unreadable || reading < least) least = reading;
}

enum LinkKind { kNewVideo, kMissing, kNewLive, kVideoAgain, kSameKeyOtherText, kLiveOtherText, kKinds };
const char* const kKindName[kKinds] = {"new video", "404", "live stream", "video played again",
                                       "video key with other text", "live stream with other text"};
const int kKindWeight[kKinds] = {45, 12, 10, 12, 13, 8};

// What the run has done and seen; the expectations at the end follow from it.
class LongRun {
public:
    LongRun(unsigned seed, CdnServer& cdn, SimulatedWeChat& wechat, ProgramUnderTest& quillmere, HWND window)
        : random_(seed), seed_(seed), cdn_(cdn), wechat_(wechat), quillmere_(quillmere), window_(window),
          table_(remote::ChildOfClass(window, L"SysListView32")),
          statusLine_(remote::ChildOfClass(window, L"Static")) {}

    void PlayOne() {
        LinkKind kind = PickKind();
        if ((kind == kVideoAgain || kind == kSameKeyOtherText) && videos_.empty()) kind = kNewVideo;
        if (kind == kLiveOtherText && lives_.empty()) kind = kNewLive;
        ++figures_.linksByKind[kKindName[kind]];
        const int serial = ++serial_;
        switch (kind) {
            case kNewVideo: PlayNewVideo(); break;
            case kMissing: {
                const std::string key = "lr-missing-" + std::to_string(serial);
                missingKeys_.push_back(key);
                Play("heap " + VideoLink(key, "t" + std::to_string(serial)), "404");
                break;
            }
            case kNewLive: {
                LiveStream live{"lr-live-" + std::to_string(serial), ""};
                live.link = LiveLink(live.name, std::to_string(serial));
                lives_.push_back(live);
                Play("heap " + live.link + "&combuf=" + std::to_string(random_()), "live " + live.name);
                break;
            }
            case kVideoAgain: {
                const Video& video = videos_[random_() % videos_.size()];
                Play("heap " + video.link, "again " + video.key);
                break;
            }
            case kSameKeyOtherText: {
                const Video& video = videos_[random_() % videos_.size()];
                Play("heap " + VideoLink(video.key, "other" + std::to_string(serial)), "other text " + video.key);
                break;
            }
            case kLiveOtherText: {
                const LiveStream& live = lives_[random_() % lives_.size()];
                Play("heap " + LiveLink(live.name, "other" + std::to_string(serial)) + "&combuf=x",
                     "other text " + live.name);
                break;
            }
            default: break;
        }
    }

    void ClearDueFaults() {
        const ULONGLONG now = GetTickCount64();
        for (auto it = pendingClears_.begin(); it != pendingClears_.end();) {
            if (it->at > now) {
                ++it;
                continue;
            }
            if (!cdn_.Command("clear?target=" + CdnServer::Escape(it->key))) Problem("the CDN did not clear a fault");
            Log("faults of %s cleared", it->key.c_str());
            it = pendingClears_.erase(it);
        }
    }

    void ClearAllFaults() {
        if (!cdn_.ClearFaults()) Problem("the CDN did not clear its faults");
        pendingClears_.clear();
    }

    // Reads the table and the status line: counts failures as they show and
    // notes a window that stops answering or a program that has ended.
    void Observe() {
        const ULONGLONG now = GetTickCount64();
        if (QuillmereEnded()) {
            if (!endReported_)
                Problem("Quillmere.exe ended during the run with exit code " + std::to_string(quillmere_.WaitForExit(0)));
            endReported_ = true;
            return;
        }
        const bool answered = Responds(window_);
        figures_.longestWaitMs = std::max(figures_.longestWaitMs, GetTickCount64() - now);
        if (!answered) {
            if (now - lastAnswer_ > kLongestSilenceMs && !hangReported_) {
                Problem("the window has not answered for " + std::to_string((now - lastAnswer_) / 1000) + " s");
                hangReported_ = true;
            }
            return;
        }
        lastAnswer_ = now;
        const int rows = remote::RowCount(table_);
        if (rows < static_cast<int>(lastStatus_.size())) Problem("the table lost rows");
        lastStatus_.resize(static_cast<std::size_t>(std::max(rows, 0)));
        for (int row = 0; row < rows; ++row) {
            const std::wstring status = remote::CellText(table_, row, 3);
            if (status == L"下载失败" && lastStatus_[row] != L"下载失败") {
                ++figures_.failedRowsSeen;
                NoteFailure(row);
                Log("row %d: %s", row, Utf8(status).c_str());
            }
            lastStatus_[row] = status;
        }
        const std::wstring message = remote::WindowText(statusLine_);
        if (message != lastMessage_) {
            lastMessage_ = message;
            NoteMessage(message);
        }
    }

    // Each figure is the least of a few readings a second apart: a passing
    // search buffer or an extra pool worker is not what the program keeps.
    Sample TakeSample() {
        Sample sample;
        sample.minute = MinutesSinceStart();
        for (int reading = 0; reading < kReadingsPerSample; ++reading) {
            if (reading > 0) Sleep(1000);
            KeepLeast(sample.handles, usage::HandleCount(quillmere_.Pid()), -1L);
            KeepLeast(sample.privateBytes, usage::PrivateBytes(quillmere_.Process()), SIZE_T{0});
            std::vector<DWORD> hosts;
            ProcessIds(L"MiniThunderPlatform.exe", hosts);
            if (hosts.empty()) continue;
            KeepLeast(sample.engineHandles, usage::HandleCount(hosts.front()), -1L);
            if (HANDLE host = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, hosts.front())) {
                KeepLeast(sample.enginePrivateBytes, usage::PrivateBytes(host), SIZE_T{0});
                CloseHandle(host);
            }
        }
        sample.engineProcesses = EngineProcesses();
        const std::vector<Row> rows = ReadTable(table_);
        sample.rows = static_cast<int>(rows.size());
        for (const Row& row : rows) {
            sample.done += row.status == L"100%";
            sample.failed += row.status == L"下载失败";
            sample.live += row.type == L"直播";
        }
        KeepMaximum(figures_.max, sample);
        return sample;
    }

    // Whether every video played has a row at 100%.
    bool AllVideosDone() {
        const std::vector<Row> rows = ReadTable(table_);
        for (const Video& video : videos_) {
            const std::vector<int> found = RowsOf(rows, video.key);
            if (found.empty() || rows[found.front()].status != L"100%") return false;
        }
        return true;
    }

    // The checks of the end, on the table and the video folder.
    void CheckResults(const std::filesystem::path& videoFolder) {
        const std::vector<Row> table = ReadTable(table_);
        std::set<std::wstring> filesOfRows;
        for (const Video& video : videos_) {
            const std::vector<int> rows = RowsOf(table, video.key);
            if (rows.size() != 1) {
                Problem("video " + video.key + " is listed " + std::to_string(rows.size()) + " times");
                continue;
            }
            const int row = rows.front();
            if (table[row].id != std::to_wstring(row) || table[row].type != L"视频")
                Problem("row " + std::to_string(row) + " has a wrong ID or type");
            if (table[row].status != L"100%")
                Problem("row " + std::to_string(row) + " (" + video.key + ") ends at " + Utf8(table[row].status));
            const std::vector<std::filesystem::path> files = FilesOfRow(videoFolder, row);
            for (const auto& file : files) filesOfRows.insert(file.filename().wstring());
            if (files.size() != 1) {
                Problem("row " + std::to_string(row) + " (" + video.key + ") has " + std::to_string(files.size()) +
                        " files");
                continue;
            }
            const std::string bytes = ReadWholeFile(files.front());
            if (bytes != RandomBytes(video.size, video.seed)) {
                Problem("row " + std::to_string(row) + ": " + Utf8(files.front().filename().wstring()) + " holds " +
                        std::to_string(bytes.size()) + " bytes that differ from the " + std::to_string(video.size) +
                        " bytes served for " + video.key);
                continue;
            }
            ++figures_.downloadsCompleted;
            figures_.bytesServed += static_cast<long long>(video.size);
        }
        for (const std::string& key : missingKeys_)
            if (!RowsOf(table, key).empty()) Problem("the 404 link of " + key + " is listed");
        for (const LiveStream& live : lives_) CheckLive(table, live);

        figures_.rows = static_cast<int>(table.size());
        for (const Row& row : table) {
            figures_.videoRows += row.type == L"视频";
            figures_.liveRows += row.type == L"直播";
        }
        if (table.size() != videos_.size() + lives_.size())
            Problem(std::to_string(table.size()) + " rows for " + std::to_string(videos_.size()) + " videos and " +
                    std::to_string(lives_.size()) + " live streams");

        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(videoFolder, error)) {
            const std::wstring name = entry.path().filename().wstring();
            if (filesOfRows.count(name)) continue;
            if (entry.path().extension() == L".mp4") {
                Problem("a final file that belongs to no row: " + Utf8(name));
                continue;
            }
            // Every attempt has ended in a final file or been given up on, and
            // the engine removes the partial file of a task given up on.
            const auto size = static_cast<long long>(entry.file_size(error));
            ++figures_.otherFiles;
            figures_.otherFileBytes += size;
            Problem("a file left in the video folder: " + Utf8(name) + ", " + std::to_string(size) + " bytes");
        }
    }

    // After warm-up the program should hold what it held then, plus the texts
    // of its lists and table, which grow by one link's worth per new row.
    void CheckGrowth() {
        const Sample& from = figures_.warmUp;
        const Sample& to = figures_.end;
        const double minutes = std::max(to.minute - from.minute, 0.1);
        const long long memoryGrowth = static_cast<long long>(to.privateBytes) - static_cast<long long>(from.privateBytes);
        Log("after warm-up: handles %+ld (%+.2f a minute), private memory %+lld KB (%+.1f KB a minute, %+.1f KB a new row)",
            to.handles - from.handles, (to.handles - from.handles) / minutes, memoryGrowth / 1024,
            memoryGrowth / 1024.0 / minutes, memoryGrowth / 1024.0 / std::max(to.rows - from.rows, 1));
        if (from.engineHandles >= 0 && to.engineHandles >= 0)
            Log("engine host after warm-up: handles %+ld, private memory %+lld KB", to.engineHandles - from.engineHandles,
                (static_cast<long long>(to.enginePrivateBytes) - static_cast<long long>(from.enginePrivateBytes)) / 1024);
        if (to.handles > from.handles + kHandleSlack)
            Problem("Quillmere's handles grew from " + std::to_string(from.handles) + " to " + std::to_string(to.handles) +
                    " after warm-up");
        if (memoryGrowth > kMemorySlackBytes)
            Problem("Quillmere's private memory grew by " + std::to_string(memoryGrowth / 1024) + " KB after warm-up");
    }

    void Problem(const std::string& text) {
        problems_.push_back(text);
        Log("PROBLEM: %s", text.c_str());
    }

    bool QuillmereEnded() const { return quillmere_.WaitForExit(0) != STILL_ACTIVE; }
    const std::vector<std::string>& Problems() const { return problems_; }
    RunFigures& Figures() { return figures_; }

private:
    LinkKind PickKind() {
        int total = 0;
        for (int weight : kKindWeight) total += weight;
        int draw = static_cast<int>(random_() % static_cast<unsigned>(total));
        for (int kind = 0; kind < kKinds; ++kind) {
            if (draw < kKindWeight[kind]) return static_cast<LinkKind>(kind);
            draw -= kKindWeight[kind];
        }
        return kNewVideo;
    }

    // Sizes from 64 KB to 8 MB, most of them small, none a round number.
    std::size_t PickSize() {
        const unsigned bucket = random_() % 100;
        const std::size_t low = bucket < 50 ? 64 * 1024 : bucket < 85 ? 512 * 1024 : 3 * 1024 * 1024;
        const std::size_t high = bucket < 50 ? 512 * 1024 : bucket < 85 ? 3 * 1024 * 1024 : 8 * 1024 * 1024;
        return std::uniform_int_distribution<std::size_t>(low, high)(random_);
    }

    // A fault for a download of `size` bytes, as its kind and its query. The
    // link check is spared, so the video is listed and its download meets it.
    std::pair<std::string, std::string> PickFault(std::size_t size) {
        // A trickle keeps a large download at 0% until its monitor gives up
        // (fifty readings); a small one would pass 1% and then take minutes.
        const unsigned kinds = size >= 2 * 1024 * 1024 ? 8 : 7;
        switch (random_() % kinds) {
            case 0: return {"drop_prob", "drop_prob=0.5"};
            case 1: return {"stall_after", "stall_after=1"};
            case 2: return {"stall_after", "stall_after=" + std::to_string(size / 3)};
            case 3: return {"fail_first", "fail_first=4&fail_status=503"};
            case 4: return {"reset_in_header", "reset_in_header=1"};
            case 5: return {"length", "length=" + std::to_string(size / 2)};
            case 6: return {"length", "no_ranges=1&length=" + std::to_string(size + 65536)};
            default: return {"rate", "rate=20"};
        }
    }

    void PlayNewVideo() {
        Video video;
        video.key = "lr-video-" + std::to_string(serial_);
        video.size = PickSize();
        video.seed = seed_ * 100003u + static_cast<unsigned>(serial_);
        video.link = VideoLink(video.key, "t" + std::to_string(serial_));
        if (!cdn_.Put(video.key, RandomBytes(video.size, video.seed))) Problem("the CDN did not take " + video.key);
        std::string note = std::to_string(video.size / 1024) + " KB";
        if (random_() % 100 < 30) {
            const auto [kind, query] = PickFault(video.size);
            if (!cdn_.Fault(video.key, "spare_first=1&" + query)) Problem("the CDN did not take a fault");
            ++figures_.faultsByKind[kind];
            const ULONGLONG lifetime = 20000 + random_() % 40000;
            pendingClears_.push_back({video.key, GetTickCount64() + lifetime});
            note += ", fault " + query + " for " + std::to_string(lifetime / 1000) + " s";
        }
        videos_.push_back(video);
        // Some videos are held at several addresses, as a page holds a link more than once.
        const unsigned copies = random_() % 100 < 25 ? 2 + random_() % 3 : 1;
        if (copies > 1) note += ", " + std::to_string(copies) + " copies";
        Play(copies > 1 ? "region 64K " + std::to_string(copies) + " " + video.link : "heap " + video.link,
             "video " + video.key + " (" + note + ")");
    }

    void Play(const std::string& command, const std::string& description) {
        Log("play %s", description.c_str());
        if (!wechat_.Command(command)) Problem("the simulated browser did not take: " + command);
    }

    // "<ID>下载失败，错误信息：<the engine's text>" after the line's time stamp.
    void NoteMessage(const std::wstring& line) {
        const std::size_t blank = line.find(L' ');
        const std::wstring message = blank == std::wstring::npos ? line : line.substr(blank + 1);
        const std::wstring marker = L"下载失败，错误信息：";
        const std::size_t at = message.find(marker);
        if (at == std::wstring::npos || at == 0 || message.find_first_not_of(L"0123456789") != at) return;
        ++figures_.failureMessagesSeen;
        ++figures_.failureReasons[message.substr(at + marker.size())];
        NoteFailure(std::stoi(message.substr(0, at)));
        Log("status line: %s", Utf8(message).c_str());
    }

    // One failure of a row shows in its cell and on the status line at about
    // the same time; a retry fails a few seconds later at the earliest (the
    // engine's stall time-out is 3 s).
    void NoteFailure(int row) {
        const ULONGLONG now = GetTickCount64();
        auto last = lastFailure_.find(row);
        if (last == lastFailure_.end() || now - last->second > kSameFailureMs) ++figures_.failuresSeen;
        lastFailure_[row] = now;
    }

    void CheckLive(const std::vector<Row>& table, const LiveStream& live) {
        int found = 0;
        const std::wstring stream = Widen(LiveLink(live.name, ""));  // up to "token="
        for (std::size_t row = 0; row < table.size(); ++row) {
            if (table[row].link.rfind(stream, 0) != 0) continue;
            ++found;
            if (table[row].type != L"直播" || table[row].status != L"不支持下载")
                Problem("the live row " + std::to_string(row) + " reads " + Utf8(table[row].type) + " " +
                        Utf8(table[row].status));
            if (table[row].link.find(L"&combuf=") != std::wstring::npos) Problem("the live row keeps &combuf=");
        }
        if (found != 1) Problem("live stream " + live.name + " is listed " + std::to_string(found) + " times");
    }

    std::mt19937 random_;
    unsigned seed_;
    CdnServer& cdn_;
    SimulatedWeChat& wechat_;
    ProgramUnderTest& quillmere_;
    HWND window_, table_, statusLine_;
    int serial_ = 0;
    std::vector<Video> videos_;
    std::vector<std::string> missingKeys_;
    std::vector<LiveStream> lives_;
    std::vector<PendingClear> pendingClears_;
    std::vector<std::wstring> lastStatus_;
    std::map<int, ULONGLONG> lastFailure_;
    std::wstring lastMessage_;
    ULONGLONG lastAnswer_ = GetTickCount64();
    bool hangReported_ = false;
    bool endReported_ = false;
    std::vector<std::string> problems_;
    RunFigures figures_;
};

int Fail(const char* reason) {
    std::printf("FAIL: %s\n", reason);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::atof(argv[1]) : 30;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 1;
    if (!(minutes > 0)) return Fail("the run's length must be a positive number of minutes");
    const ULONGLONG playMs = static_cast<ULONGLONG>(minutes * kMinuteMs);
    runStart = GetTickCount64();
    std::printf("long run: %.1f minutes, seed %u, video host %s, live host %s\n", minutes, seed, QUILLMERE_VIDEO_HOST,
                QUILLMERE_LIVE_HOST);

    const TestFolder root("long run");
    const std::wstring programFolder = root.Wide() + L"\\视频号 长跑";
    if (!CreateDirectoryW(programFolder.c_str(), nullptr) ||
        !CopyFileW((BinFolder() + L"Quillmere.exe").c_str(), (programFolder + L"\\Quillmere.exe").c_str(), FALSE))
        return Fail("cannot set up the program folder");

    CdnOptions options;
    options.port = VideoPort();
    options.controlPort = options.port + 7;
    options.idleSeconds = static_cast<int>(playMs / 1000) + 1200;
    options.maxSeconds = options.idleSeconds + 600;
    if (argc > 3) options.logFile = argv[3];
    CdnServer cdn(options);
    if (!cdn.Ready()) return Fail("the local CDN did not start");
    SimulatedWeChat wechat;
    if (!wechat.Start(root.Wide())) return Fail("the simulated WeChat did not start");
    ProgramUnderTest quillmere;
    if (!quillmere.Start(programFolder + L"\\Quillmere.exe", L"", {L"QUILLMERE_ENGINE_TIMEOUT_MS=3000"}))
        return Fail("Quillmere.exe did not start");
    HWND window = nullptr;
    if (!remote::WaitFor([&] { return (window = remote::FindProcessWindow(quillmere.Pid(), L"QuillmereMainWindow",
                                                                          nullptr)) != nullptr; },
                         30000))
        return Fail("Quillmere's window did not show");

    LongRun run(seed, cdn, wechat, quillmere, window);
    RunFigures& figures = run.Figures();
    const double warmUpMinute = std::max(1.0, std::min(5.0, std::floor(minutes / 5)));
    PrintSampleHeader();
    figures.start = run.TakeSample();
    PrintSample(figures.start, "start");

    // Playing: a link every 5 to 15 s, faults cleared when due, a sample a minute.
    std::mt19937 pace(seed);
    ULONGLONG nextPlay = GetTickCount64() + 3000;
    ULONGLONG nextSample = runStart + kMinuteMs;
    bool warmedUp = false;
    auto sampleWhenDue = [&](const char* label) {
        if (GetTickCount64() < nextSample) return;
        nextSample += kMinuteMs;
        const Sample sample = run.TakeSample();
        PrintSample(sample, label);
        if (!warmedUp && sample.minute >= warmUpMinute - 0.05) {
            figures.warmUp = sample;
            warmedUp = true;
        }
    };
    while (GetTickCount64() - runStart < playMs && !run.QuillmereEnded()) {
        if (GetTickCount64() >= nextPlay) {
            run.PlayOne();
            nextPlay = GetTickCount64() + 5000 + pace() % 10001;
        }
        run.ClearDueFaults();
        run.Observe();
        sampleWhenDue("playing");
        Sleep(500);
    }
    figures.playMinutes = MinutesSinceStart();

    // Draining: no more links or faults; every video must reach 100%.
    Log("stopped playing; faults cleared; waiting for every video row to reach 100%%");
    run.ClearAllFaults();
    const ULONGLONG drainStart = GetTickCount64();
    while (!run.QuillmereEnded() && GetTickCount64() - drainStart < kDrainLimitMs) {
        run.Observe();
        if (run.AllVideosDone()) break;
        sampleWhenDue("draining");
        Sleep(1000);
    }
    figures.drainSeconds = static_cast<double>(GetTickCount64() - drainStart) / 1000;
    run.Observe();
    Sleep(kSettleMs);
    if (!run.QuillmereEnded()) {
        figures.end = run.TakeSample();
        PrintSample(figures.end, "end");
        if (!warmedUp) figures.warmUp = figures.end;
        run.CheckGrowth();
        const std::filesystem::path videoFolder = std::filesystem::path(programFolder) / L"video";
        run.CheckResults(videoFolder);

        Log("closing the window");
        PostMessageW(window, WM_CLOSE, 0, 0);
        const DWORD exitCode = quillmere.WaitForExit(30000);
        if (exitCode != 0) run.Problem("Quillmere.exe ended with " + std::to_string(exitCode) + " after the window closed");
        if (!remote::WaitFor([] { return EngineProcesses() == 0; }, 10000))
            run.Problem("an engine process was left behind after the window closed");
    }

    PrintFigures(figures);
    if (run.Problems().empty()) {
        std::printf("PASS: every video listed once and byte-identical, no 404 or duplicate rows, clean exit\n");
        return 0;
    }
    std::printf("FAIL: %d problem(s)\n", static_cast<int>(run.Problems().size()));
    for (const std::string& problem : run.Problems()) std::printf("  - %s\n", problem.c_str());
    return 1;
}
