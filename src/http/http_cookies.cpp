// The cookie modes: 1 keeps the cookies in the client's own cookie text, 2 in
// the WinINet store; in both, every request carries a Cookie header and every
// response's Set-Cookie headers are taken in.
#include "http/http_client.h"

#include "http/cookie_store.h"
#include "http/cookie_text.h"
#include "http/winhttp_calls.h"

void HttpClient::SetCookieMode(std::optional<int> mode) {
    int chosen = mode.value_or(1);
    cookieMode = (chosen < 0 || chosen > 2) ? 0 : chosen;
}

void HttpClient::MergeSetCookies(std::optional<int> keepOnEmpty) {
    if (http::MergeSetCookieEntries(cookies, headers, keepOnEmpty.value_or(0)))
        cookiesLength = static_cast<int>(cookies.size());
}

void HttpClient::StoreSetCookies(std::optional<int> keepOnEmpty) {
    for (const auto& cookie : http::StoreSetCookieEntries(headers, keepOnEmpty.value_or(0)))
        StoreCookieForUrl(url, cookie.first, cookie.second);
}

bool HttpClient::StoreCookies(const std::string& cookieText) {
    bool stored = false;
    for (const auto& cookie : http::CookieAssignments(cookieText)) {
        StoreCookieForUrl(url, cookie.first, cookie.second);
        stored = true;
    }
    return stored;
}

bool HttpClient::AddCookieHeader() {
    return AddHeaderText("Cookie:" + CookieText(), WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
}

bool HttpClient::AddStoreCookieHeader() {
    std::string stored;
    if (!CookiesForUrl(url, stored)) return false;
    return AddHeaderText("Cookie:" + stored, WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
}

bool HttpClient::SetCookieHeader(const std::string& cookieText) {
    if (cookieMode == 1) return MergeCookies(cookieText);
    if (cookieMode == 2) return StoreCookies(cookieText);
    if (!request) return false;
    SetDwordOption(request, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_COOKIES);
    return SetHeader("Cookie", cookieText);
}

std::string HttpClient::GetSetCookies() const { return http::JoinedSetCookies(headers); }

std::string HttpClient::GetSetCookie(const std::string& name) const { return http::SetCookieValueOf(headers, name); }

std::string HttpClient::CookieText(std::optional<std::string> text) {
    if (!text) return http::CookiePairsOf(cookies, cookiesLength);
    cookies = http::FrameCookieText(*text);
    cookiesLength = static_cast<int>(cookies.size());
    return *text;
}

std::string HttpClient::GetCookie(const std::string& name, std::optional<int> withName) const {
    return http::CookieValueOf(cookies, name, withName.value_or(0) == 1);
}

bool HttpClient::MergeCookies(const std::string& cookieText) {
    if (!http::MergeCookiePairs(cookies, cookieText)) return false;
    cookiesLength = static_cast<int>(cookies.size());
    return true;
}

bool HttpClient::DeleteCookies(const std::string& names) {
    if (!http::DeleteCookieNames(cookies, names)) return false;
    cookiesLength = static_cast<int>(cookies.size());
    return true;
}
