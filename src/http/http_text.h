// The client's text rules that need no network: URL normalisation, raw header
// look-ups, the Content-Length value, the redirect target and the receive
// buffer's growth. Pure functions over GBK byte strings, free of Win32 calls.
#pragma once

#include <cstddef>
#include <string>

namespace http {

// ASCII letters only.
std::string UpperAscii(std::string text);
bool EqualNoCase(const std::string& a, const std::string& b);
// Position of needle in text at or after `from`, ASCII case ignored; npos when absent.
std::size_t FindNoCase(const std::string& text, const std::string& needle, std::size_t from = 0);
// Skips ASCII spaces and the GBK full-width space (A1 A1), not tabs.
std::size_t SkipSpaces(const std::string& text, std::size_t at);
std::string TrimSpaces(const std::string& text);

// "http://" in front unless the URL starts with http:// or https:// in any case.
std::string NormaliseUrl(const std::string& url);

// Where the value of header `name` starts in raw headers (status line first,
// lines ended by CR LF): just after "name:" at the start of a line, ASCII case
// ignored. npos when there is no such line. The status line never matches.
std::size_t HeaderValueStart(const std::string& headers, const std::string& name);
// The first header of that name, leading spaces removed; empty when absent.
std::string HeaderValue(const std::string& headers, const std::string& name);
// The Content-Length value: -1 when absent, the leading decimal digits otherwise
// (0 when none; capped at the largest int).
int ContentLengthOf(const std::string& headers);
// The Location value, trimmed; empty when absent.
std::string LocationOf(const std::string& headers);
// A Location value resolved against the current request: "/x" against the
// scheme (2 = https), host and port; "x" against the URL's last "/"; an
// absolute URL unchanged.
std::string ResolveLocation(const std::string& value, int scheme, const std::string& host, int port,
                            const std::string& url);

// The receive buffer: its first size for a body of contentLength (-1 unknown),
// and its new size when `need` bytes no longer fit.
std::size_t InitialBodyCapacity(int contentLength);
std::size_t GrownBodyCapacity(std::size_t need, int contentLength);

}  // namespace http
