// One HTTP(S) GET over WinHTTP as a download needs it: redirects followed by
// the engine itself (all five kinds, with the Range kept), time-outs set on
// every request, the certificate verified, and every failure turned into the
// engine's failure code together with whether trying again may help.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "common/http_rules.h"
#include "common/win_handles.h"

struct FetchFailure {
    bool retry = false;
    std::int32_t code = 0;  // TASK_ERROR_TYPE
};

struct FetchSettings {
    std::wstring referer;
    std::wstring cookies;
    DWORD timeoutMs = 30000;
};

struct FetchResponse {
    InternetHandle connection;
    InternetHandle request;
    int status = 0;
    std::optional<std::int64_t> contentLength;
    std::optional<ContentRange> contentRange;
};

// The process's one WinHTTP session (thread-safe; opened on first use).
HINTERNET FetchSession();

// GET url, asking for [from, to) when withRange (to < 0: to the end). On
// success the response's status is 200 or 206 and its body is ready to read.
bool OpenFetch(const std::wstring& url, bool withRange, std::int64_t from, std::int64_t to,
               const FetchSettings& settings, FetchResponse& response, FetchFailure& failure);

// Reads up to `size` body bytes; 0 at the end of the body. None on failure.
std::optional<DWORD> ReadFetch(FetchResponse& response, void* buffer, DWORD size, FetchFailure& failure);
