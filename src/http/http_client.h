// A small synchronous HTTP and HTTPS client over WinHTTP: one session, at most
// one kept connection (reused while host text and port stay the same) and one
// request at a time. Every text in and out is GBK; conversions to the UTF-16
// that WinHTTP takes always use code page 936.
//
// Results are booleans, 0 or empty texts; the client never raises and never
// reports anything itself. Optional parameters are std::optional: an omitted
// one is not the same as one given as 0.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

class HttpClient {
public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    void Open(std::optional<std::string> agent = std::nullopt);
    void Close();
    void ResetOptions();

    void MergeSetCookies(std::optional<int> keepOnEmpty = std::nullopt);
    void StoreSetCookies(std::optional<int> keepOnEmpty = std::nullopt);
    bool StoreCookies(const std::string& cookieText);
    bool AddCookieHeader();
    bool AddStoreCookieHeader();
    void AddDefaultHeaders(bool hasBody);
    void ApplyOptions();
    bool ReadHeaders(std::optional<int> keepOnEmpty = std::nullopt);
    void FollowRedirect(int keepOnEmpty, int retries);

    HINTERNET SessionHandle(std::optional<HINTERNET> value = std::nullopt);
    HINTERNET ConnectionHandle(std::optional<HINTERNET> value = std::nullopt);
    HINTERNET RequestHandle(std::optional<HINTERNET> value = std::nullopt);

    void SetDefaultHeaders(std::optional<bool> on = std::nullopt);
    void SetCookieMode(std::optional<int> mode = std::nullopt);
    void Reset(std::optional<std::string> agent = std::nullopt);
    bool OpenRequest(const std::string& verb, const std::string& url);
    bool Send(std::optional<std::string> body = std::nullopt, std::optional<int> keepOnEmpty = std::nullopt,
              std::optional<int> retries = std::nullopt);
    bool SendBytes(std::optional<Bytes> body = std::nullopt, std::optional<int> keepOnEmpty = std::nullopt,
                   std::optional<int> retries = std::nullopt);

    Bytes ReadBody();
    std::string ReadBodyText();
    std::string ReadBodyUtf8();
    int GetStatusCode();
    std::string GetStatusText();
    std::string GetHeaders() const;
    std::string GetHeader(const std::string& name) const;
    std::string GetSetCookies() const;
    std::string GetSetCookie(const std::string& name) const;
    std::string GetLocation(std::optional<bool> resolve = std::nullopt) const;

    bool SetTimeouts(std::optional<int> resolve = std::nullopt, std::optional<int> connect = std::nullopt,
                     std::optional<int> send = std::nullopt, std::optional<int> receive = std::nullopt);
    bool SetProxy(const std::string& server, const std::string& user, const std::string& password);
    bool SetCredentials(const std::string& user, const std::string& password,
                        std::optional<int> target = std::nullopt, std::optional<int> authScheme = std::nullopt);
    bool SetOption(std::optional<int> handleKind, int option, std::uint32_t value, int size);
    void SetFollowRedirects(std::optional<bool> allow = std::nullopt);
    bool SetHeader(const std::string& name, const std::string& value,
                   std::optional<std::uint32_t> modifiers = std::nullopt);
    bool RemoveHeader(const std::string& name);
    bool SetCookieHeader(const std::string& cookieText);
    bool SetUserAgent(std::optional<std::string> agent = std::nullopt);
    bool SetReferer(std::optional<std::string> referer = std::nullopt);
    bool SetAccept(std::optional<std::string> accept = std::nullopt);
    bool SetAcceptLanguage(std::optional<std::string> language = std::nullopt);
    bool SetContentType(std::optional<std::string> type = std::nullopt);
    bool SetAjax();
    bool SetClientAddress(const std::string& address);

    std::string CookieText(std::optional<std::string> text = std::nullopt);
    std::string GetCookie(const std::string& name, std::optional<int> withName = std::nullopt) const;
    bool MergeCookies(const std::string& cookieText);
    bool DeleteCookies(const std::string& names);

private:
    // Fields are declared and described in the implementation's order; the
    // implementation may add private helpers here.
    HINTERNET session = nullptr;
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;
    std::string connectedHost;
    int connectedPort = 0;
    std::string url;
    int scheme = 0;
    int isPost = 0;
    std::uint8_t* buffer = nullptr;
    int received = 0;
    int contentLength = 0;
    std::string headers;
    int defaultHeaders = 0;
    int cookieMode = 0;
    std::string cookies;
    int cookiesLength = 0;
    int redirectsDisabled = 0;
    int redirectCount = 0;
    int proxyCredentialsPending = 0;
    std::string proxyUser;
    std::string proxyPassword;
    int ignoreCertErrors = 0;
    std::size_t bufferCapacity = 0;  // bytes allocated at `buffer`

    bool SendBody(const void* body, DWORD length, std::optional<int> keepOnEmpty, std::optional<int> retries);
    bool SetDwordOption(HINTERNET handle, DWORD option, DWORD value);
    void SetProxyCredentials(const std::string& user, const std::string& password);
    bool AddHeaderText(const std::string& text, DWORD modifiers);
    std::string QueryText(DWORD infoLevel);
    bool ResizeBuffer(std::size_t capacity);
};

// UTF-16 (code page 936) of a GBK text, NUL included, with its length in
// characters without the NUL; an empty text gives an empty buffer and 0.
struct WideText {
    std::wstring units;  // holds the NUL as its last unit when not empty
    int length = 0;
    // NUL-terminated in every case (an empty text gives L"").
    const wchar_t* Units() const { return units.empty() ? L"" : units.c_str(); }
};
WideText ToWide(const std::string& text);
// The GBK text (code page 936) of UTF-16 bytes: lengthInBytes / 2 characters.
std::string FromWide(const wchar_t* units, std::size_t lengthInBytes);
// UTF-8 bytes to UTF-16 to GBK.
std::string Utf8ToText(const Bytes& bytes);
