#include "http/http_text.h"

#include <climits>

namespace http {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool MatchesAt(const std::string& text, std::size_t at, const std::string& needle) {
    if (at > text.size() || text.size() - at < needle.size()) return false;
    for (std::size_t i = 0; i < needle.size(); ++i)
        if (LowerAscii(text[at + i]) != LowerAscii(needle[i])) return false;
    return true;
}

}  // namespace

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool EqualNoCase(const std::string& a, const std::string& b) { return a.size() == b.size() && MatchesAt(a, 0, b); }

std::size_t FindNoCase(const std::string& text, const std::string& needle, std::size_t from) {
    if (needle.size() > text.size()) return std::string::npos;
    for (std::size_t at = from; at + needle.size() <= text.size(); ++at)
        if (MatchesAt(text, at, needle)) return at;
    return std::string::npos;
}

std::size_t SkipSpaces(const std::string& text, std::size_t at) {
    for (;;) {
        if (at < text.size() && text[at] == ' ') {
            ++at;
        } else if (at + 1 < text.size() && static_cast<unsigned char>(text[at]) == 0xA1 &&
                   static_cast<unsigned char>(text[at + 1]) == 0xA1) {
            at += 2;
        } else {
            return at;
        }
    }
}

std::string TrimSpaces(const std::string& text) {
    std::size_t begin = SkipSpaces(text, 0);
    std::size_t end = text.size();
    while (end > begin) {
        if (text[end - 1] == ' ') {
            --end;
        } else if (end - begin >= 2 && static_cast<unsigned char>(text[end - 1]) == 0xA1 &&
                   static_cast<unsigned char>(text[end - 2]) == 0xA1) {
            end -= 2;
        } else {
            break;
        }
    }
    return text.substr(begin, end - begin);
}

std::string NormaliseUrl(const std::string& url) {
    if (MatchesAt(url, 0, "https://") || MatchesAt(url, 0, "http://")) return url;
    return "http://" + url;
}

std::size_t HeaderValueStart(const std::string& headers, const std::string& name) {
    // Anchored at a line start, so "Content-Location:" is never taken for
    // "Location:" and the status line never matches.
    std::size_t at = FindNoCase(headers, "\r\n" + name + ":");
    return at == std::string::npos ? at : at + 2 + name.size() + 1;
}

std::string HeaderValue(const std::string& headers, const std::string& name) {
    if (headers.empty() || name.empty()) return std::string();
    std::size_t start = HeaderValueStart(headers, name);
    if (start == std::string::npos) return std::string();
    std::size_t end = headers.find("\r\n", start);
    if (end == std::string::npos) return std::string();
    std::size_t begin = SkipSpaces(headers, start);  // stops at the CR at the latest
    return headers.substr(begin, end - begin);
}

int ContentLengthOf(const std::string& headers) {
    std::size_t at = HeaderValueStart(headers, "Content-Length");
    if (at == std::string::npos) return -1;
    std::size_t end = headers.find("\r\n", at);
    if (end == std::string::npos) end = headers.size();
    while (at < end && (headers[at] == ' ' || headers[at] == '\t')) ++at;
    long long value = 0;
    for (; at < end && headers[at] >= '0' && headers[at] <= '9'; ++at) {
        value = value * 10 + (headers[at] - '0');
        if (value > INT_MAX) return INT_MAX;
    }
    return static_cast<int>(value);
}

std::string LocationOf(const std::string& headers) {
    if (headers.empty()) return std::string();
    std::size_t start = HeaderValueStart(headers, "Location");
    if (start == std::string::npos) return std::string();
    std::size_t end = headers.find("\r\n", start);
    if (end == std::string::npos) return std::string();
    return TrimSpaces(headers.substr(start, end - start));
}

std::string ResolveLocation(const std::string& value, int scheme, const std::string& host, int port,
                            const std::string& url) {
    if (value.empty()) return value;
    if (value[0] == '/')
        return std::string(scheme == 2 ? "https://" : "http://") + host + ":" + std::to_string(port) + value;
    if (MatchesAt(value, 0, "http://") || MatchesAt(value, 0, "https://")) return value;
    std::size_t slash = url.rfind('/');
    if (slash == std::string::npos) return url + "/" + value;
    return url.substr(0, slash + 1) + value;
}

std::size_t InitialBodyCapacity(int contentLength) {
    if (contentLength == -1) return 10240;
    if (contentLength > 1048576) return 1048576;
    return static_cast<std::size_t>(contentLength);
}

std::size_t GrownBodyCapacity(std::size_t need, int contentLength) {
    if (contentLength == -1 || need > static_cast<std::size_t>(contentLength)) return need + 10240;
    if (static_cast<std::size_t>(contentLength) - need > 1048576) return need + 1048576;
    return static_cast<std::size_t>(contentLength);
}

}  // namespace http
