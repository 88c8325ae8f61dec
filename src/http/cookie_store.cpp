#include "http/cookie_store.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

void StoreCookieForUrl(const std::string& url, const std::string& name, const std::string& data) {
    InternetSetCookieA(url.c_str(), name.c_str(), data.c_str());
}

bool CookiesForUrl(const std::string& url, std::string& cookies) {
    DWORD size = 0;
    InternetGetCookieA(url.c_str(), "", nullptr, &size);
    if (size == 0) return false;
    std::vector<char> text(size + 1, '\0');
    InternetGetCookieA(url.c_str(), "", text.data(), &size);
    cookies.assign(text.data());  // up to the NUL the store writes
    return true;
}
