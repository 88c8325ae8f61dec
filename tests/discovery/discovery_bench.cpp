// Measures the memory search against a raw copy of the same regions, in one
// run: the simulated browser holds about 512 MB in regions from 4 KB to 256 MB
// with a few hundred link copies. Also the cost of reading one text at the
// start of a 256 MB and of a 4 KB region, and the time of whole scan ticks
// (links validated against the local CDN on the build's video host; the
// dispatcher is a stand-in, since the download engine is not deployed).
//
//     discovery_bench.exe        (QUILLMERE_SOURCE and QUILLMERE_BUILD set)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/table.h"
#include "cdn_fixture.h"
#include "discovery/memory_search.h"
#include "discovery/scan_cycle.h"
#include "fixture_processes.h"
#include "test_window.h"

namespace {

constexpr int kRepeats = 7;
// The piece size of the search's own reads, for a like-for-like baseline.
constexpr std::size_t kChunkLength = 4u << 20;

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename Work>
double BestSeconds(int repeats, Work work) {
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        work();
        QueryPerformanceCounter(&end);
        best = std::min(best, Seconds(start, end));
    }
    return best;
}

struct Region {
    std::uintptr_t base;
    std::size_t length;
};

// The regions the search reads, chosen by the same rule.
std::vector<Region> ReadableRegions(HANDLE process) {
    std::vector<Region> regions;
    MEMORY_BASIC_INFORMATION info{};
    for (std::uintptr_t address = 0;
         VirtualQueryEx(process, reinterpret_cast<LPCVOID>(address), &info, sizeof info) == sizeof info;) {
        const bool skipped = info.Type == MEM_MAPPED || info.Protect == PAGE_NOACCESS || info.Protect == PAGE_EXECUTE ||
                             info.Protect == PAGE_EXECUTE_WRITECOPY;
        const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(info.BaseAddress);
        if (!skipped) regions.push_back({base, info.RegionSize});
        if (base + info.RegionSize <= address) break;
        address = base + info.RegionSize;
    }
    return regions;
}

// Copies every region in pieces of `chunk` bytes (0: whole regions); returns
// the bytes copied by successful reads.
std::size_t RawCopy(HANDLE process, const std::vector<Region>& regions, std::size_t chunk) {
    std::size_t largest = 0;
    for (const Region& region : regions) largest = std::max(largest, region.length);
    const std::size_t bufferLength = chunk ? chunk : largest;
    const std::unique_ptr<char[]> buffer(new char[bufferLength]);
    std::size_t copied = 0;
    for (const Region& region : regions) {
        for (std::size_t offset = 0; offset < region.length;) {
            const std::size_t length = std::min(bufferLength, region.length - offset);
            SIZE_T read = 0;
            if (!ReadProcessMemory(process, reinterpret_cast<LPCVOID>(region.base + offset), buffer.get(), length,
                                   &read) ||
                read != length) {
                break;
            }
            copied += length;
            offset += length;
        }
    }
    return copied;
}

std::string VideoLink(int key) { return VideoLinkPrefix() + "?encfilekey=B" + std::to_string(key) + "&token=t&taskid=0"; }

int VideoHostPort() {
    const std::string host = QUILLMERE_VIDEO_HOST;
    return std::atoi(host.substr(host.rfind(':') + 1).c_str());
}

}  // namespace

int main() {
    ConstructGlobals();
    TestWindow window;
    FixtureProcesses fixtures;
    const Started browser = fixtures.StartBrowser();
    if (!browser.pid) {
        std::fprintf(stderr, "cannot start the simulated browser\n");
        return 1;
    }

    // 256 MB down to 4 KB, halving, twice for the small ones: about 512 MB.
    int links = 0;
    int key = 0;
    std::uintptr_t bigText = 0;
    std::uintptr_t smallText = 0;
    for (std::size_t size = 256u << 20; size >= 4096; size /= 2) {
        const int copies = size >= (1u << 20) ? 32 : 2;
        for (int twice = 0; twice < (size < (1u << 20) ? 2 : 1); ++twice) {
            const std::uintptr_t base = fixtures.Command(
                browser.control, "region " + std::to_string(size) + " " + std::to_string(copies) + " " + VideoLink(key));
            if (!base) {
                std::fprintf(stderr, "cannot fill a region of %zu bytes\n", size);
                return 1;
            }
            if (size == (256u << 20)) bigText = base;
            if (size == 4096) smallText = base;
            links += copies;
            ++key;
        }
    }

    const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, browser.pid);
    const std::vector<Region> regions = ReadableRegions(process);
    std::size_t total = 0;
    for (const Region& region : regions) total += region.length;

    // Alternated, best of each, so that a busy moment of the machine does not
    // favour one of them.
    std::size_t found = 0;
    std::size_t copied = 0;
    std::size_t walked = 0;
    double search = 1e30, raw = 1e30, walk = 1e30;
    for (int i = 0; i < kRepeats; ++i) {
        search = std::min(search, BestSeconds(1, [&] { found = SearchProcessMemory(browser.pid, VideoLinkPrefix()).size(); }));
        raw = std::min(raw, BestSeconds(1, [&] { copied = RawCopy(process, regions, kChunkLength); }));
        walk = std::min(walk, BestSeconds(1, [&] { walked = ReadableRegions(process).size(); }));
    }
    const double whole = BestSeconds(1, [&] { RawCopy(process, regions, 0); });

    const int textReads = 200;
    const double bigRead = BestSeconds(1, [&] {
        for (int i = 0; i < textReads; ++i) ReadRemoteText(browser.pid, bigText);
    }) / textReads;
    const double smallRead = BestSeconds(1, [&] {
        for (int i = 0; i < textReads; ++i) ReadRemoteText(browser.pid, smallText);
    }) / textReads;

    CdnOptions options;
    options.port = VideoHostPort();
    options.controlPort = 18611;
    CdnServer cdn(options);
    for (int k = 0; k < key; ++k) cdn.Put("B" + std::to_string(k), "video");
    _wechatPid = browser.pid;
    const double firstTick = BestSeconds(1, ScanCycle);
    const double laterTick = BestSeconds(1, ScanCycle);
    const int rows = TableRowCount();

    const double gb = 1024.0 * 1024.0 * 1024.0;
    std::printf("regions read: %zu, %.1f MB; link copies placed: %d, found: %zu\n", regions.size(),
                static_cast<double>(total) / (1 << 20), links, found);
    std::printf("SearchProcessMemory:              %.3f s  %.2f GB/s\n", search, static_cast<double>(total) / gb / search);
    std::printf("raw ReadProcessMemory, 4 MB reads: %.3f s  %.2f GB/s  (search at %.0f %%)\n", raw,
                static_cast<double>(copied) / gb / raw, 100.0 * raw / search);
    std::printf("region walk (VirtualQueryEx, %zu regions kept): %.3f s; walk + raw copy: %.2f GB/s (search at %.0f %%)\n",
                walked, walk, static_cast<double>(copied) / gb / (walk + raw), 100.0 * (walk + raw) / search);
    std::printf("raw ReadProcessMemory, whole regions: %.3f s  %.2f GB/s\n", whole,
                static_cast<double>(copied) / gb / whole);
    std::printf("ReadRemoteText at the start of a 256 MB region: %.3f ms; of a 4 KB region: %.3f ms\n",
                bigRead * 1000, smallRead * 1000);
    std::printf("ScanCycle (two searches: live streams, videos): first tick (%d links validated, %d rows) %.3f s;"
                " next tick %.3f s\n",
                key, rows, firstTick, laterTick);
    CloseHandle(process);
    return found == static_cast<std::size_t>(links) && cdn.Ready() ? 0 : 1;
}
