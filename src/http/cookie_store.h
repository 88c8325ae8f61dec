// The WinINet cookie store of cookie mode 2. Kept apart from the client because
// the WinINet and WinHTTP headers cannot be included together.
#pragma once

#include <string>

// Stores one cookie for the URL (all GBK); the store's result is not reported.
void StoreCookieForUrl(const std::string& url, const std::string& name, const std::string& data);
// The store's cookies for the URL as one text ("a=1; b=2"); false when it holds none.
bool CookiesForUrl(const std::string& url, std::string& cookies);
