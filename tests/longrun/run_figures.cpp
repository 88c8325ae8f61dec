#include "run_figures.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Megabytes(SIZE_T bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

std::string Handles(long count) { return count < 0 ? "-" : std::to_string(count); }

std::string Joined(const std::map<std::string, int>& counts) {
    std::string text;
    for (const auto& [name, count] : counts) text += (text.empty() ? "" : ", ") + name + " " + std::to_string(count);
    return text.empty() ? "none" : text;
}

}  // namespace

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

void PrintSampleHeader() {
    std::printf("%-9s %6s %8s %7s %8s %7s %5s %6s %5s %5s %7s\n", "sample", "min", "handles", "priv MB", "eng h",
                "eng MB", "rows", "100%", "fail", "live", "engines");
    std::fflush(stdout);
}

void PrintSample(const Sample& s, const char* label) {
    std::printf("%-9s %6.1f %8s %7s %8s %7s %5d %6d %5d %5d %7d\n", label, s.minute, Handles(s.handles).c_str(),
                Megabytes(s.privateBytes).c_str(), Handles(s.engineHandles).c_str(),
                Megabytes(s.enginePrivateBytes).c_str(), s.rows, s.done, s.failed, s.live, s.engineProcesses);
    std::fflush(stdout);
}

void KeepMaximum(Sample& max, const Sample& s) {
    max.minute = std::max(max.minute, s.minute);
    max.handles = std::max(max.handles, s.handles);
    max.privateBytes = std::max(max.privateBytes, s.privateBytes);
    max.engineHandles = std::max(max.engineHandles, s.engineHandles);
    max.enginePrivateBytes = std::max(max.enginePrivateBytes, s.enginePrivateBytes);
    max.rows = std::max(max.rows, s.rows);
    max.done = std::max(max.done, s.done);
    max.failed = std::max(max.failed, s.failed);
    max.live = std::max(max.live, s.live);
    max.engineProcesses = std::max(max.engineProcesses, s.engineProcesses);
}

void PrintFigures(const RunFigures& f) {
    std::string reasons;
    for (const auto& [reason, count] : f.failureReasons)
        reasons += (reasons.empty() ? "" : ", ") + std::string("\"") + Utf8(reason) + "\" " + std::to_string(count);
    int links = 0;
    for (const auto& entry : f.linksByKind) links += entry.second;
    int faults = 0;
    for (const auto& entry : f.faultsByKind) faults += entry.second;

    std::printf("\n---- figures (markdown) ----\n");
    std::printf("| | |\n|---|---|\n");
    std::printf("| run | %.1f min of playing links, then %.0f s until every row was done |\n", f.playMinutes,
                f.drainSeconds);
    std::printf("| links played | %d: %s |\n", links, Joined(f.linksByKind).c_str());
    std::printf("| CDN faults injected | %d: %s |\n", faults, Joined(f.faultsByKind).c_str());
    std::printf("| rows | %d (%d videos, %d live streams) |\n", f.rows, f.videoRows, f.liveRows);
    std::printf("| downloads completed | %d, each one file byte-identical to what the CDN served (%s MB in all) |\n",
                f.downloadsCompleted, Megabytes(static_cast<SIZE_T>(f.bytesServed)).c_str());
    // Narrow literals are GBK here; the console reads UTF-8.
    std::printf("| retries seen | %d failed downloads taken again (%d seen as a row reading %s, %d as a failure message "
                "on the status line%s%s) |\n",
                f.failuresSeen, f.failedRowsSeen, Utf8(L"下载失败").c_str(), f.failureMessagesSeen,
                reasons.empty() ? "" : ": ", reasons.c_str());
    std::printf("| other files left in the video folder | %d (%s MB) |\n", f.otherFiles,
                Megabytes(static_cast<SIZE_T>(f.otherFileBytes)).c_str());
    std::printf("| longest wait for the window to answer | %llu ms |\n", f.longestWaitMs);
    std::printf("\n| Quillmere.exe | start | after warm-up (min %.0f) | end | max |\n|---|---|---|---|---|\n",
                f.warmUp.minute);
    std::printf("| handles | %s | %s | %s | %s |\n", Handles(f.start.handles).c_str(), Handles(f.warmUp.handles).c_str(),
                Handles(f.end.handles).c_str(), Handles(f.max.handles).c_str());
    std::printf("| private memory (MB) | %s | %s | %s | %s |\n", Megabytes(f.start.privateBytes).c_str(),
                Megabytes(f.warmUp.privateBytes).c_str(), Megabytes(f.end.privateBytes).c_str(),
                Megabytes(f.max.privateBytes).c_str());
    std::printf("| engine host handles | %s | %s | %s | %s |\n", Handles(f.start.engineHandles).c_str(),
                Handles(f.warmUp.engineHandles).c_str(), Handles(f.end.engineHandles).c_str(),
                Handles(f.max.engineHandles).c_str());
    std::printf("| engine host private memory (MB) | %s | %s | %s | %s |\n",
                Megabytes(f.start.enginePrivateBytes).c_str(), Megabytes(f.warmUp.enginePrivateBytes).c_str(),
                Megabytes(f.end.enginePrivateBytes).c_str(), Megabytes(f.max.enginePrivateBytes).c_str());
    std::printf("---- end of figures ----\n\n");
    std::fflush(stdout);
}
