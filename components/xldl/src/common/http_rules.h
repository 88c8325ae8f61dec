// The engine's reading of HTTP answers and its choice of what to ask next:
// pure text and number rules, free of Win32, so that they build and can be
// fuzzed natively. Header values arrive as WinHTTP gives them (UTF-16).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// "bytes first-last/total" of a 206 answer. total is -1 for "*".
struct ContentRange {
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::int64_t total = -1;
};
std::optional<ContentRange> ParseContentRange(const std::wstring& value);

// A Content-Length value: digits only (blanks around allowed), no overflow.
std::optional<std::int64_t> ParseContentLength(const std::wstring& value);

// The absolute address a Location value points at, from the address that
// answered with it; empty when it cannot be resolved to http or https.
std::wstring ResolveRedirect(const std::wstring& base, const std::wstring& location);

// Whether an address is one the engine downloads: http:// or https:// (any
// letter case) followed by a host.
bool IsDownloadAddress(const std::wstring& url);

// What an HTTP status means for a download.
enum class StatusKind {
    Body,       // 200, 206: data follows
    Redirect,   // 301, 302, 303, 307, 308: ask the Location
    Retry,      // 408, 429, 5xx: try again later
    Fatal       // anything else: the address is wrong for us
};
StatusKind ClassifyStatus(int status);

// The range header value for the bytes [from, to) ("bytes=from-to-1"), or
// "bytes=from-" when to is unknown (negative).
std::wstring RangeHeaderValue(std::int64_t from, std::int64_t to);
