#include "host/http_fetch.h"

#include <algorithm>
#include <vector>

#include "xldl.h"

namespace {

constexpr int kMaxRedirects = 10;
// A read that brings less than this has met a slow answer; one buffer is not
// filled for longer than kFillMs.
constexpr DWORD kSteadyReadLength = 4096;
constexpr ULONGLONG kFillMs = 250;
// Wine's WinHTTP reports a receive time-out as the socket's WSAETIMEDOUT.
constexpr DWORD kSocketTimedOut = 10060;

FetchFailure FailureOf(DWORD error) {
    switch (error) {
        case ERROR_WINHTTP_TIMEOUT:
        case kSocketTimedOut:
            return {true, TASK_ERROR_TIMEOUT};
        case ERROR_WINHTTP_INVALID_URL:
        case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
            return {false, TASK_ERROR_DOWN_INVALID};
        case ERROR_WINHTTP_SECURE_FAILURE:
        case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
        case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
        case ERROR_WINHTTP_SECURE_INVALID_CA:
        case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
        case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
        case ERROR_WINHTTP_SECURE_INVALID_CERT:
        case ERROR_WINHTTP_SECURE_CERT_REVOKED:
        case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
            // A server we cannot trust stays untrusted however often we ask.
            return {false, TASK_ERROR_HTTPMGR_NOT_IP};
        default:
            return {true, TASK_ERROR_HTTPMGR_NOT_IP};
    }
}

bool Fail(FetchFailure& failure, FetchFailure value) {
    failure = value;
    return false;
}

std::optional<std::wstring> HeaderText(HINTERNET request, DWORD query) {
    DWORD bytes = 0;
    WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &bytes,
                        WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) return std::nullopt;
    std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes,
                             WINHTTP_NO_HEADER_INDEX))
        return std::nullopt;
    return std::wstring(text.data(), bytes / sizeof(wchar_t));
}

// One request without following redirects; the status is left in response.
bool SendOnce(const std::wstring& url, bool withRange, std::int64_t from, std::int64_t to,
              const FetchSettings& settings, FetchResponse& response, FetchFailure& failure) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) || parts.dwHostNameLength == 0)
        return Fail(failure, {false, TASK_ERROR_DOWN_INVALID});
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath ? parts.lpszUrlPath : L"", parts.dwUrlPathLength);
    if (parts.lpszExtraInfo) path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty()) path = L"/";
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

    response = FetchResponse{};
    response.connection.Reset(WinHttpConnect(FetchSession(), host.c_str(), parts.nPort, 0));
    if (!response.connection) return Fail(failure, FailureOf(GetLastError()));
    response.request.Reset(WinHttpOpenRequest(response.connection.Get(), L"GET", path.c_str(), nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              secure ? WINHTTP_FLAG_SECURE : 0));
    if (!response.request) return Fail(failure, FailureOf(GetLastError()));
    HINTERNET request = response.request.Get();
    DWORD disabled = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES;
    WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof disabled);
    const int timeout = static_cast<int>(settings.timeoutMs);
    WinHttpSetTimeouts(request, timeout, timeout, timeout, timeout);

    std::wstring headers;
    if (withRange) headers += L"Range: " + RangeHeaderValue(from, to) + L"\r\n";
    if (!settings.referer.empty()) headers += L"Referer: " + settings.referer + L"\r\n";
    if (!settings.cookies.empty()) headers += L"Cookie: " + settings.cookies + L"\r\n";
    if (!headers.empty() &&
        !WinHttpAddRequestHeaders(request, headers.c_str(), static_cast<DWORD>(headers.size()),
                                  WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE))
        return Fail(failure, {false, TASK_ERROR_DOWN_INVALID});
    if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request, nullptr))
        return Fail(failure, FailureOf(GetLastError()));

    DWORD status = 0, size = sizeof status;
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return Fail(failure, {true, TASK_ERROR_HTTPMGR_NOT_IP});
    response.status = static_cast<int>(status);
    if (const auto length = HeaderText(request, WINHTTP_QUERY_CONTENT_LENGTH))
        response.contentLength = ParseContentLength(*length);
    if (const auto range = HeaderText(request, WINHTTP_QUERY_CONTENT_RANGE))
        response.contentRange = ParseContentRange(*range);
    return true;
}

}  // namespace

HINTERNET FetchSession() {
    static const InternetHandle session(WinHttpOpen(L"Quillmere-Engine/1.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    return session.Get();
}

bool OpenFetch(const std::wstring& url, bool withRange, std::int64_t from, std::int64_t to,
               const FetchSettings& settings, FetchResponse& response, FetchFailure& failure) {
    std::wstring current = url;
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        if (!SendOnce(current, withRange, from, to, settings, response, failure)) return false;
        switch (ClassifyStatus(response.status)) {
            case StatusKind::Body:
                return true;
            case StatusKind::Retry:
                return Fail(failure, {true, TASK_ERROR_DOWN_INVALID});
            case StatusKind::Fatal:
                return Fail(failure, {false, TASK_ERROR_DOWN_INVALID});
            case StatusKind::Redirect: {
                const auto location = HeaderText(response.request.Get(), WINHTTP_QUERY_LOCATION);
                current = location ? ResolveRedirect(current, *location) : std::wstring();
                if (current.empty()) return Fail(failure, {false, TASK_ERROR_DOWN_INVALID});
                break;
            }
        }
    }
    return Fail(failure, {false, TASK_ERROR_DOWN_INVALID});
}

std::optional<DWORD> ReadFetch(FetchResponse& response, void* buffer, DWORD size, FetchFailure& failure) {
    // Wine's synchronous read returns only once the whole buffer is full, so a
    // trickling answer would hold it (and the task's stop or delete) for hours.
    // Reading what has arrived, for as long as it keeps arriving in whole
    // records, fills the buffer as fast while the data flows and returns soon
    // after it slows down.
    auto* bytes = static_cast<char*>(buffer);
    const ULONGLONG start = GetTickCount64();
    DWORD total = 0;
    while (total < size) {
        DWORD available = 0;
        DWORD read = 0;
        const bool ok = WinHttpQueryDataAvailable(response.request.Get(), &available) &&
                        (available == 0 ||
                         WinHttpReadData(response.request.Get(), bytes + total, std::min(available, size - total), &read));
        if (!ok) {
            if (total > 0) break;  // the next read reports the failure
            failure = FailureOf(GetLastError());
            return std::nullopt;
        }
        total += read;
        if (read < kSteadyReadLength || GetTickCount64() - start >= kFillMs) break;
    }
    return total;
}
