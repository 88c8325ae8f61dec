#include "common/http_rules.h"

#include <cwctype>
#include <limits>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring Trimmed(const std::wstring& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// Reads a non-negative decimal number at `at`, advancing it; none on no digit or overflow.
std::optional<std::int64_t> Number(const std::wstring& text, std::size_t& at) {
    const std::size_t start = at;
    std::int64_t value = 0;
    while (at < text.size() && text[at] >= L'0' && text[at] <= L'9') {
        const int digit = text[at] - L'0';
        if (value > (std::numeric_limits<std::int64_t>::max() - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
        ++at;
    }
    if (at == start) return std::nullopt;
    return value;
}

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    std::size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= text.size() || static_cast<wchar_t>(std::towlower(text[i])) != prefix[i]) return false;
    return true;
}

std::size_t SchemeLength(const std::wstring& url) {
    if (StartsWithNoCase(url, L"http://")) return 7;
    if (StartsWithNoCase(url, L"https://")) return 8;
    return 0;
}

}  // namespace

std::optional<ContentRange> ParseContentRange(const std::wstring& value) {
    const std::wstring text = Trimmed(value);
    if (!StartsWithNoCase(text, L"bytes")) return std::nullopt;
    std::size_t at = 5;
    if (at >= text.size() || !IsBlank(text[at])) return std::nullopt;
    while (at < text.size() && IsBlank(text[at])) ++at;
    ContentRange range;
    const auto first = Number(text, at);
    if (!first || at >= text.size() || text[at++] != L'-') return std::nullopt;
    const auto last = Number(text, at);
    if (!last || at >= text.size() || text[at++] != L'/') return std::nullopt;
    if (at < text.size() && text[at] == L'*') {
        ++at;
    } else {
        const auto total = Number(text, at);
        if (!total) return std::nullopt;
        range.total = *total;
    }
    if (at != text.size() || *last < *first) return std::nullopt;
    if (range.total >= 0 && *last >= range.total) return std::nullopt;
    range.first = *first;
    range.last = *last;
    return range;
}

std::optional<std::int64_t> ParseContentLength(const std::wstring& value) {
    const std::wstring text = Trimmed(value);
    std::size_t at = 0;
    const auto length = Number(text, at);
    if (!length || at != text.size()) return std::nullopt;
    return length;
}

bool IsDownloadAddress(const std::wstring& url) {
    const std::size_t scheme = SchemeLength(url);
    if (scheme == 0 || scheme >= url.size()) return false;
    const wchar_t first = url[scheme];
    return first != L'/' && first != L'?' && first != L'#' && !IsBlank(first);
}

std::wstring ResolveRedirect(const std::wstring& base, const std::wstring& location) {
    std::wstring target = Trimmed(location);
    const std::size_t fragment = target.find(L'#');
    if (fragment != std::wstring::npos) target.erase(fragment);
    if (target.empty()) return {};
    if (SchemeLength(target)) return IsDownloadAddress(target) ? target : std::wstring();
    const std::size_t scheme = SchemeLength(base);
    if (scheme == 0) return {};
    // A scheme of another kind ("ftp:", "javascript:") before any slash is no target for us.
    const std::size_t colon = target.find(L':');
    const std::size_t slash = target.find_first_of(L"/?");
    if (colon != std::wstring::npos && (slash == std::wstring::npos || colon < slash)) return {};
    if (target.compare(0, 2, L"//") == 0) {
        const std::wstring resolved = base.substr(0, scheme - 2) + target;
        return IsDownloadAddress(resolved) ? resolved : std::wstring();
    }
    // A path or query is resolved against the base's host: without one there is no target.
    if (!IsDownloadAddress(base)) return {};
    const std::size_t pathStart = base.find_first_of(L"/?#", scheme);
    const std::wstring origin = base.substr(0, pathStart);
    if (target[0] == L'/') return origin + target;
    std::wstring path = pathStart == std::wstring::npos ? L"/" : base.substr(pathStart);
    const std::size_t query = path.find_first_of(L"?#");
    if (target[0] == L'?') return origin + path.substr(0, query) + target;
    path = path.substr(0, query);
    if (path.empty() || path[0] != L'/') path = L"/" + path;
    path.erase(path.rfind(L'/') + 1);
    return origin + path + target;
}

StatusKind ClassifyStatus(int status) {
    if (status == 200 || status == 206) return StatusKind::Body;
    if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) return StatusKind::Redirect;
    if (status == 408 || status == 429 || (status >= 500 && status <= 599)) return StatusKind::Retry;
    return StatusKind::Fatal;
}

std::wstring RangeHeaderValue(std::int64_t from, std::int64_t to) {
    std::wstring value = L"bytes=" + std::to_wstring(from) + L"-";
    if (to >= 0) value += std::to_wstring(to - 1);
    return value;
}
