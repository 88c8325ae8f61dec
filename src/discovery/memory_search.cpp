// Regions are read in bounded chunks rather than whole: one ReadProcessMemory
// of a 512 MB region needs a 512 MB buffer and, under Wine, runs several times
// slower than 1-4 MB pieces. The results are those of whole-region reads:
//
// - Search: consecutive chunks overlap by the pattern's length - 1 bytes, so
//   an occurrence across a chunk border is seen whole in the later chunk, and
//   the search resumes after the end of the previous occurrence, so that
//   occurrences never overlap. A chunk that cannot be read discards every
//   occurrence already found in its region: a whole read of that region
//   would have failed too, since the chunk's pages are part of it.
// - Text: VirtualQueryEx reports a region as pages of one state, protection
//   and type, so when its first chunk can be read so can the rest; stopping at
//   the first NUL therefore gives what reading the rest of the region would.
//   Should a later chunk still fail (the target changed its memory between
//   our reads), the result is empty, as the whole read's would be had the
//   change come before it. Chunks grow from 4 KB, so a short text costs the
//   same at the start of a 4 KB region as of a 256 MB one.
#include "discovery/memory_search.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

#include "app/message_pump.h"
#include "discovery/unique_handle.h"

namespace {

// All process rights as the older system headers define PROCESS_ALL_ACCESS.
constexpr DWORD kProcessAccess = 0x1F0FFF;
constexpr std::size_t kSearchChunkLength = 4 << 20;
constexpr std::size_t kFirstTextChunkLength = 4 << 10;
constexpr std::size_t kLastTextChunkLength = 1 << 20;

using Searcher = std::boyer_moore_horspool_searcher<const char*>;

bool Skipped(const MEMORY_BASIC_INFORMATION& region) {
    return region.Type == MEM_MAPPED || region.Protect == PAGE_NOACCESS || region.Protect == PAGE_EXECUTE ||
           region.Protect == PAGE_EXECUTE_WRITECOPY;
}

bool ReadExactly(HANDLE process, std::uintptr_t address, char* into, std::size_t length) {
    SIZE_T read = 0;
    return ReadProcessMemory(process, reinterpret_cast<LPCVOID>(address), into, length, &read) && read == length;
}

// Searches one region chunk by chunk, appending the occurrences to `found`.
// `buffer` holds kSearchChunkLength + the pattern's length - 1 bytes. False
// when a chunk could not be read; `found` then holds partial results.
bool SearchRegion(HANDLE process, std::uintptr_t base, std::size_t regionLength, std::string_view pattern,
                  const Searcher& searcher, char* buffer, std::vector<std::uintptr_t>& found) {
    const std::size_t overlap = pattern.size() - 1;
    std::size_t windowStart = 0;  // region offset of buffer[0]
    std::size_t held = 0;         // bytes in buffer
    std::size_t resume = 0;       // region offset where the next occurrence may start
    for (std::size_t readOffset = 0; readOffset < regionLength;) {
        const std::size_t length = std::min(kSearchChunkLength, regionLength - readOffset);
        if (!ReadExactly(process, base + readOffset, buffer + held, length)) return false;
        held += length;
        readOffset += length;

        const char* const end = buffer + held;
        for (const char* from = buffer + (resume - windowStart);;) {
            const char* const hit = std::search(from, end, searcher);
            if (hit == end) break;
            const std::size_t offset = windowStart + static_cast<std::size_t>(hit - buffer);
            found.push_back(base + offset);
            resume = offset + pattern.size();
            from = hit + pattern.size();
        }
        // Every start before the kept tail has been examined.
        const std::size_t tail = std::min(overlap, held);
        std::memmove(buffer, end - tail, tail);
        windowStart += held - tail;
        held = tail;
        resume = std::max(resume, windowStart);
        if (readOffset < regionLength) ProcessPendingMessages();
    }
    return true;
}

}  // namespace

std::vector<std::uintptr_t> SearchProcessMemory(DWORD pid, std::string_view pattern) {
    std::vector<std::uintptr_t> addresses;
    if (pattern.empty()) return addresses;
    ProcessHandle process(OpenProcess(kProcessAccess, FALSE, pid));
    if (!process.Valid()) return addresses;

    const Searcher searcher(pattern.data(), pattern.data() + pattern.size());
    const std::unique_ptr<char[]> buffer(new char[kSearchChunkLength + pattern.size() - 1]);
    std::vector<std::uintptr_t> found;
    MEMORY_BASIC_INFORMATION region{};
    for (std::uintptr_t address = 0;
         VirtualQueryEx(process.Get(), reinterpret_cast<LPCVOID>(address), &region, sizeof region) == sizeof region;) {
        const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(region.BaseAddress);
        if (!Skipped(region)) {
            found.clear();
            if (SearchRegion(process.Get(), base, region.RegionSize, pattern, searcher, buffer.get(), found)) {
                addresses.insert(addresses.end(), found.begin(), found.end());
            }
        }
        const std::uintptr_t next = base + region.RegionSize;
        if (next <= address) break;  // wrapped past the top of the address space
        address = next;
        ProcessPendingMessages();
    }
    return addresses;
}

std::string ReadRemoteText(DWORD pid, std::uintptr_t address) {
    ProcessHandle process(OpenProcess(kProcessAccess, FALSE, pid));
    if (!process.Valid()) return {};
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQueryEx(process.Get(), reinterpret_cast<LPCVOID>(address), &region, sizeof region) != sizeof region) {
        return {};
    }
    const std::uintptr_t regionEnd = reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;

    std::string text;
    std::vector<char> chunk;
    std::size_t chunkLength = kFirstTextChunkLength;
    for (std::uintptr_t at = address; at < regionEnd;) {
        const std::size_t length = std::min<std::uintptr_t>(chunkLength, regionEnd - at);
        chunk.resize(length);
        if (!ReadExactly(process.Get(), at, chunk.data(), length)) return {};
        const char* const nul = static_cast<const char*>(std::memchr(chunk.data(), 0, length));
        if (nul) return text.append(chunk.data(), static_cast<std::size_t>(nul - chunk.data()));
        text.append(chunk.data(), length);
        at += length;
        chunkLength = std::min(chunkLength * 2, kLastTextChunkLength);
    }
    return text;
}
