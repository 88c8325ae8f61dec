// The request cycle: session, kept connection, request, send with retries and
// the raw response headers. Cookie modes, manual redirects and the request
// options hook in through ApplyOptions, ReadHeaders and FollowRedirect.
#include "http/http_client.h"

#include "http/http_text.h"
#include "http/winhttp_calls.h"

#include <cstdlib>

namespace {

const char kDefaultAgent[] = "Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.2)";

// Shared by every client: the process heap, fetched once.
HANDLE processHeap = nullptr;

void CloseInternet(HINTERNET& handle) {
    if (handle) WinHttp().closeHandle(handle);
    handle = nullptr;
}

}  // namespace

HttpClient::HttpClient() {
    if (!processHeap) processHeap = GetProcessHeap();
    Open();
    ResetOptions();
}

HttpClient::~HttpClient() { Close(); }

void HttpClient::Open(std::optional<std::string> agent) {
    WideText wideAgent = ToWide(agent ? *agent : std::string(kDefaultAgent));
    // A second Open on an open client would leak the old session.
    CloseInternet(session);
    session = WinHttp().open(wideAgent.Units(), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0);
    if (!buffer) {
        buffer = static_cast<std::uint8_t*>(HeapAlloc(processHeap, 0, 10240));
        bufferCapacity = buffer ? 10240 : 0;
    }
}

void HttpClient::Close() {
    CloseInternet(request);
    CloseInternet(connection);
    CloseInternet(session);
    if (buffer) HeapFree(processHeap, 0, buffer);
    buffer = nullptr;
    bufferCapacity = 0;
    received = 0;
    contentLength = 0;
    connectedPort = 0;
    redirectsDisabled = 0;
    proxyCredentialsPending = 0;
    headers.clear();
    proxyUser.clear();
    proxyPassword.clear();
    connectedHost.clear();
    url.clear();
}

void HttpClient::ResetOptions() {
    defaultHeaders = 1;
    cookieMode = 0;
    ignoreCertErrors = 1;
    cookies = "; ";
    cookiesLength = 2;
    if (session) WinHttp().setTimeouts(session, 10000, 15000, 120000, 300000);
}

void HttpClient::Reset(std::optional<std::string> agent) {
    Close();
    Open(agent);
    ResetOptions();
}

HINTERNET HttpClient::SessionHandle(std::optional<HINTERNET> value) {
    if (value) session = *value;
    return session;
}

HINTERNET HttpClient::ConnectionHandle(std::optional<HINTERNET> value) {
    if (value) connection = *value;
    return connection;
}

HINTERNET HttpClient::RequestHandle(std::optional<HINTERNET> value) {
    if (value) request = *value;
    return request;
}

void HttpClient::SetDefaultHeaders(std::optional<bool> on) { defaultHeaders = (!on || *on) ? 1 : 0; }

bool HttpClient::OpenRequest(const std::string& verb, const std::string& requestUrl) {
    if (!session) return false;
    url = http::NormaliseUrl(requestUrl);

    WideText wideUrl = ToWide(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttp().crackUrl(wideUrl.Units(), static_cast<DWORD>(wideUrl.length), 0, &parts)) return false;

    received = 0;
    contentLength = 0;
    headers.clear();
    CloseInternet(request);

    std::wstring wideHost(parts.lpszHostName ? parts.lpszHostName : L"", parts.dwHostNameLength);
    std::string host = FromWide(wideHost.c_str(), wideHost.size() * sizeof(wchar_t));
    int port = static_cast<int>(parts.nPort);
    if (!connection || host != connectedHost || port != connectedPort) {
        CloseInternet(connection);
        connection = WinHttp().connect(session, wideHost.c_str(), parts.nPort, 0);
        if (!connection) return false;
        connectedHost = host;
        connectedPort = port;
    }

    std::wstring wideVerb = L"GET";
    if (!verb.empty()) {
        std::string upper = http::UpperAscii(verb);
        if (defaultHeaders == 1) isPost = upper == "POST" ? 1 : 0;
        WideText converted = ToWide(upper);
        wideVerb.assign(converted.Units(), static_cast<std::size_t>(converted.length));
    }

    std::wstring object = L"/";
    if (parts.dwUrlPathLength >= 1 && parts.lpszUrlPath)
        object.assign(parts.lpszUrlPath, parts.dwUrlPathLength + parts.dwExtraInfoLength);

    scheme = static_cast<int>(parts.nScheme);
    DWORD flags = scheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    request = WinHttp().openRequest(connection, wideVerb.c_str(), object.c_str(), nullptr, WINHTTP_NO_REFERER,
                                    WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
    return request != nullptr;
}

bool HttpClient::Send(std::optional<std::string> body, std::optional<int> keepOnEmpty, std::optional<int> retries) {
    static const std::string none;
    const std::string& text = body ? *body : none;
    return SendBody(text.empty() ? nullptr : text.data(), static_cast<DWORD>(text.size()), keepOnEmpty, retries);
}

bool HttpClient::SendBytes(std::optional<Bytes> body, std::optional<int> keepOnEmpty, std::optional<int> retries) {
    static const Bytes none;
    const Bytes& bytes = body ? *body : none;
    return SendBody(bytes.empty() ? nullptr : bytes.data(), static_cast<DWORD>(bytes.size()), keepOnEmpty, retries);
}

bool HttpClient::SendBody(const void* body, DWORD length, std::optional<int> keepOnEmpty,
                          std::optional<int> retries) {
    if (!request) return false;
    // A negative count still makes the one attempt.
    const long long attempts = static_cast<long long>(retries.value_or(0) > 0 ? *retries : 0) + 1;
    const int keep = keepOnEmpty.value_or(0);
    ApplyOptions();
    if (defaultHeaders == 1) AddDefaultHeaders(length > 0);

    bool answered = false;
    for (long long attempt = 0; attempt < attempts && !answered; ++attempt) {
        answered = WinHttp().sendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, const_cast<void*>(body), length,
                                         length, 0) &&
                   WinHttp().receiveResponse(request, nullptr);
        if (answered) break;
        DWORD error = GetLastError();
        // Only a connection that could not be made or broke is worth another try.
        if (error != ERROR_WINHTTP_CANNOT_CONNECT && error != ERROR_WINHTTP_CONNECTION_ERROR) return false;
    }
    if (!answered) return false;
    ReadHeaders(keep);
    FollowRedirect(keep, retries.value_or(0));
    return true;
}

bool HttpClient::SetDwordOption(HINTERNET handle, DWORD option, DWORD value) {
    if (!handle) return false;
    return WinHttp().setOption(handle, option, &value, sizeof value) != FALSE;
}

bool HttpClient::AddHeaderText(const std::string& text, DWORD modifiers) {
    if (!request) return false;
    WideText wide = ToWide(text);
    return WinHttp().addRequestHeaders(request, wide.Units(), static_cast<DWORD>(wide.length), modifiers) != FALSE;
}

void HttpClient::ApplyOptions() {
    if (proxyCredentialsPending == 1) {
        SetProxyCredentials(proxyUser, proxyPassword);
        proxyCredentialsPending = 0;
        proxyUser.clear();
        proxyPassword.clear();
    }
    if (redirectsDisabled == 1 || cookieMode > 0)
        SetDwordOption(request, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_REDIRECTS);
    if (ignoreCertErrors == 1) {
        SetDwordOption(request, WINHTTP_OPTION_SECURITY_FLAGS,
                       SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
                           SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID);
        ignoreCertErrors = 0;
    }
    if (cookieMode != 0) {
        SetDwordOption(request, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_COOKIES);
        if (cookieMode == 1) AddCookieHeader();
        if (cookieMode == 2) AddStoreCookieHeader();
    }
}

void HttpClient::AddDefaultHeaders(bool hasBody) {
    AddHeaderText("Accept:*/*", WINHTTP_ADDREQ_FLAG_ADD_IF_NEW);
    AddHeaderText("Accept-Language:zh-cn", WINHTTP_ADDREQ_FLAG_ADD_IF_NEW);
    AddHeaderText("Cache-Control:no-cache", WINHTTP_ADDREQ_FLAG_ADD_IF_NEW);
    if (isPost == 1 || hasBody)
        AddHeaderText("Content-Type:application/x-www-form-urlencoded", WINHTTP_ADDREQ_FLAG_ADD_IF_NEW);
}

bool HttpClient::ResizeBuffer(std::size_t capacity) {
    if (capacity == bufferCapacity && buffer) return true;
    // HeapReAlloc cannot start from nothing, and a size of 0 still needs a block.
    SIZE_T bytes = capacity ? capacity : 1;
    void* grown = buffer ? HeapReAlloc(processHeap, 0, buffer, bytes) : HeapAlloc(processHeap, 0, bytes);
    if (!grown) return false;
    buffer = static_cast<std::uint8_t*>(grown);
    bufferCapacity = capacity;
    return true;
}

std::string HttpClient::QueryText(DWORD infoLevel) {
    if (!request) return std::string();
    DWORD size = 0;
    WinHttp().queryHeaders(request, infoLevel, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size, WINHTTP_NO_HEADER_INDEX);
    if (size < 1) return std::string();
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttp().queryHeaders(request, infoLevel, WINHTTP_HEADER_NAME_BY_INDEX, &text[0], &size,
                                WINHTTP_NO_HEADER_INDEX))
        return std::string();
    // On success the size no longer counts the NUL.
    return FromWide(text.c_str(), size);
}

bool HttpClient::ReadHeaders(std::optional<int> keepOnEmpty) {
    headers = QueryText(WINHTTP_QUERY_RAW_HEADERS_CRLF);
    if (headers.empty()) {
        contentLength = -1;
        return false;
    }
    contentLength = http::ContentLengthOf(headers);
    if (cookieMode == 1) MergeSetCookies(keepOnEmpty);
    if (cookieMode == 2) StoreSetCookies(keepOnEmpty);
    return true;
}

int HttpClient::GetStatusCode() {
    if (!request) return 0;
    return std::atoi(QueryText(WINHTTP_QUERY_STATUS_CODE).c_str());
}

std::string HttpClient::GetStatusText() { return QueryText(WINHTTP_QUERY_STATUS_TEXT); }
