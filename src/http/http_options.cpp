// Request options and headers: time-outs, proxy, credentials, raw options,
// the redirect switch and the header setters with their shortcuts.
#include "http/http_client.h"

#include "http/http_text.h"
#include "http/winhttp_calls.h"

namespace {
constexpr DWORD kAddOrReplace = WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE;

}  // namespace

bool HttpClient::SetTimeouts(std::optional<int> resolve, std::optional<int> connect, std::optional<int> send,
                             std::optional<int> receive) {
    if (!session) return false;
    return WinHttp().setTimeouts(session, resolve.value_or(10000), connect.value_or(15000), send.value_or(120000),
                                 receive.value_or(300000)) != FALSE;
}

bool HttpClient::SetProxy(const std::string& server, const std::string& user, const std::string& password) {
    if (!session) return false;
    WideText wideServer = ToWide(server);
    WINHTTP_PROXY_INFO info{};
    if (server.empty()) {
        info.dwAccessType = WINHTTP_ACCESS_TYPE_NO_PROXY;
        info.lpszProxy = const_cast<wchar_t*>(L"");
        info.lpszProxyBypass = const_cast<wchar_t*>(L"");
    } else {
        if (request) {
            SetProxyCredentials(user, password);
        } else {
            proxyCredentialsPending = 1;
            proxyUser = user;
            proxyPassword = password;
        }
        info.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
        info.lpszProxy = const_cast<wchar_t*>(wideServer.Units());
        info.lpszProxyBypass = const_cast<wchar_t*>(L"");
    }
    return WinHttp().setOption(session, WINHTTP_OPTION_PROXY, &info, sizeof info) != FALSE;
}

void HttpClient::SetProxyCredentials(const std::string& user, const std::string& password) {
    WideText wideUser = ToWide(user);
    WideText widePassword = ToWide(password);
    // Each buffer is handed over with its NUL; an empty text is one NUL.
    WinHttp().setOption(request, WINHTTP_OPTION_PROXY_USERNAME, const_cast<wchar_t*>(wideUser.Units()),
                        static_cast<DWORD>((wideUser.length + 1) * sizeof(wchar_t)));
    WinHttp().setOption(request, WINHTTP_OPTION_PROXY_PASSWORD, const_cast<wchar_t*>(widePassword.Units()),
                        static_cast<DWORD>((widePassword.length + 1) * sizeof(wchar_t)));
}

bool HttpClient::SetCredentials(const std::string& user, const std::string& password, std::optional<int> target,
                                std::optional<int> authScheme) {
    if (!request) return false;
    WideText wideUser = ToWide(user);
    WideText widePassword = ToWide(password);
    return WinHttp().setCredentials(request, static_cast<DWORD>(target.value_or(WINHTTP_AUTH_TARGET_SERVER)),
                                    static_cast<DWORD>(authScheme.value_or(WINHTTP_AUTH_SCHEME_BASIC)),
                                    wideUser.Units(), widePassword.Units(), nullptr) != FALSE;
}

bool HttpClient::SetOption(std::optional<int> handleKind, int option, std::uint32_t value, int size) {
    HINTERNET handle = session;
    if (handleKind && *handleKind == 1) handle = connection;
    if (handleKind && *handleKind == 2) handle = request;
    // The value is one 32-bit integer: a larger size would let WinHTTP read past it.
    if (!handle || size < 0 || size > static_cast<int>(sizeof(DWORD))) return false;
    DWORD data = value;
    return WinHttp().setOption(handle, static_cast<DWORD>(option), &data, static_cast<DWORD>(size)) != FALSE;
}

void HttpClient::SetFollowRedirects(std::optional<bool> allow) { redirectsDisabled = (!allow || *allow) ? 0 : 1; }

bool HttpClient::SetHeader(const std::string& name, const std::string& value, std::optional<std::uint32_t> modifiers) {
    if (!request || name.empty()) return false;
    // A caller's own Cookie header must not be merged with or replaced by
    // WinHTTP's cookies; in the cookie modes ApplyOptions switches them off.
    if (cookieMode == 0 && http::EqualNoCase(name, "cookie"))
        SetDwordOption(request, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_COOKIES);
    return AddHeaderText(name + ":" + value, modifiers.value_or(kAddOrReplace));
}

bool HttpClient::RemoveHeader(const std::string& name) {
    if (!request || name.empty()) return false;
    if (cookieMode == 0 && http::EqualNoCase(name, "cookie"))
        SetDwordOption(request, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_COOKIES);
    return AddHeaderText(name + ":", WINHTTP_ADDREQ_FLAG_REPLACE);
}

bool HttpClient::SetUserAgent(std::optional<std::string> agent) {
    return SetHeader("User-Agent", agent.value_or("Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.2)"));
}

bool HttpClient::SetReferer(std::optional<std::string> referer) { return SetHeader("Referer", referer.value_or(url)); }

bool HttpClient::SetAccept(std::optional<std::string> accept) { return SetHeader("Accept", accept.value_or("*/*")); }

bool HttpClient::SetAcceptLanguage(std::optional<std::string> language) {
    return SetHeader("Accept-Language", language.value_or("zh-cn"));
}

bool HttpClient::SetContentType(std::optional<std::string> type) {
    return SetHeader("Content-Type", type.value_or("application/x-www-form-urlencoded"));
}

bool HttpClient::SetAjax() { return SetHeader("x-requested-with", "XMLHttpRequest"); }

bool HttpClient::SetClientAddress(const std::string& address) {
    return AddHeaderText("X-Forwarded-For:" + address + "\r\nCLIENT_IP:" + address + "\r\nVIA:" + address +
                             "\r\nREMOTE_ADDR:" + address,
                         kAddOrReplace);
}
