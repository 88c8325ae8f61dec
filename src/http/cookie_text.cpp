#include "http/cookie_text.h"

#include "http/http_text.h"

namespace http {

namespace {

const std::string kSetCookie = "Set-Cookie:";

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Entries end at a ";" or at the end of their line: a header line without a
// ";" must not run on into the next header.
std::string EntryAt(const std::string& headers, std::size_t start, std::size_t& next) {
    std::size_t lineEnd = headers.find("\r\n", start);
    if (lineEnd == std::string::npos) lineEnd = headers.size();
    std::size_t semicolon = headers.find(';', start);
    if (semicolon != std::string::npos && semicolon < lineEnd) {
        next = semicolon + 1;
        return headers.substr(start, semicolon + 1 - start);
    }
    next = lineEnd;
    std::string value = headers.substr(start, lineEnd - start);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    return value + ";";
}

std::vector<std::string> SplitPieces(const std::string& text) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        std::size_t semicolon = text.find(';', start);
        std::string piece = text.substr(start, semicolon == std::string::npos ? std::string::npos : semicolon - start);
        pieces.push_back(piece.substr(SkipSpaces(piece, 0)));
        if (semicolon == std::string::npos) return pieces;
        start = semicolon + 1;
    }
}

}  // namespace

std::vector<std::string> SetCookieEntries(const std::string& headers) {
    std::vector<std::string> entries;
    std::size_t from = 0;
    for (;;) {
        std::size_t at = FindNoCase(headers, "\r\n" + kSetCookie, from);
        if (at == std::string::npos) return entries;
        std::size_t start = SkipSpaces(headers, at + 2 + kSetCookie.size());
        entries.push_back(EntryAt(headers, start, from));
    }
}

bool IsDeletionMarker(const std::string& entry) {
    return EndsWith(entry, "=deleted;") || EndsWith(entry, "=DELETED;") || EndsWith(entry, "=Deleted;");
}

bool MergeSetCookieEntries(std::string& cookies, const std::string& headers, int keepOnEmpty) {
    bool changed = false;
    for (const std::string& entry : SetCookieEntries(headers)) {
        std::size_t equals = entry.find('=');
        if (equals == std::string::npos) continue;
        std::string key = entry.substr(0, equals + 1);
        std::size_t found = cookies.find("; " + key);
        if (found == std::string::npos) {
            if (IsDeletionMarker(entry)) continue;
            cookies += entry + " ";
            changed = true;
            continue;
        }
        std::size_t p = found + 2;
        if (keepOnEmpty == 1 && entry == key + ";") continue;
        std::size_t q = cookies.find("; ", p + key.size());
        if (q == std::string::npos) continue;
        if (IsDeletionMarker(entry)) {
            if (keepOnEmpty == 1) continue;
            cookies.erase(p - 1, q - (p - 1) + 1);
        } else {
            cookies.replace(p, q - p + 1, entry);
        }
        changed = true;
    }
    return changed;
}

std::vector<std::pair<std::string, std::string>> StoreSetCookieEntries(const std::string& headers, int keepOnEmpty) {
    std::vector<std::pair<std::string, std::string>> stores;
    for (const std::string& entry : SetCookieEntries(headers)) {
        std::size_t equals = entry.find('=');
        if (equals == std::string::npos) continue;
        std::string name = entry.substr(0, equals);
        if (IsDeletionMarker(entry)) {
            if (keepOnEmpty != 1) stores.emplace_back(name, std::string());
            continue;
        }
        std::string data = entry.substr(equals + 1, entry.size() - 1 - (equals + 1));
        if (keepOnEmpty == 1 && SkipSpaces(data, 0) == data.size()) continue;
        stores.emplace_back(name, data);
    }
    return stores;
}

bool MergeCookiePairs(std::string& cookies, const std::string& pairs) {
    if (pairs.empty()) return false;
    bool changed = false;
    for (const std::string& piece : SplitPieces(pairs)) {
        std::size_t equals = piece.find('=');
        if (equals == std::string::npos) continue;
        std::string key = "; " + piece.substr(0, equals + 1);
        std::size_t k = cookies.find(key);
        if (k == std::string::npos) {
            cookies += piece + "; ";
            changed = true;
            continue;
        }
        std::size_t q = cookies.find("; ", k + key.size());
        if (q == std::string::npos) continue;
        cookies.replace(k + 2, q - (k + 2), piece);
        changed = true;
    }
    return changed;
}

bool DeleteCookieNames(std::string& cookies, const std::string& names) {
    if (names.empty()) return false;
    bool removed = false;
    for (const std::string& piece : SplitPieces(names)) {
        std::string name = piece.substr(0, piece.find('='));
        std::string key = "; " + name + "=";
        std::size_t k = cookies.find(key);
        if (k == std::string::npos) continue;
        std::size_t q = cookies.find("; ", k + key.size());
        if (q == std::string::npos) continue;
        cookies.erase(k, q - k);
        removed = true;
    }
    return removed;
}

std::vector<std::pair<std::string, std::string>> CookieAssignments(const std::string& pairs) {
    std::vector<std::pair<std::string, std::string>> assignments;
    if (pairs.empty()) return assignments;
    for (const std::string& piece : SplitPieces(pairs)) {
        std::size_t equals = piece.find('=');
        if (equals != std::string::npos) assignments.emplace_back(piece.substr(0, equals), piece.substr(equals + 1));
    }
    return assignments;
}

std::string FrameCookieText(const std::string& text) {
    std::string framed = text.compare(0, 2, "; ") == 0 ? text : "; " + text;
    if (EndsWith(framed, "; ")) return framed;
    // A text ending in spaces loses them first, so that it ends in "; " as the
    // other operations expect.
    while (framed.size() > 2 && framed.back() == ' ') framed.pop_back();
    if (EndsWith(framed, "; ")) return framed;
    return framed + (framed.back() == ';' ? " " : "; ");
}

std::string CookiePairsOf(const std::string& cookies, int cookiesLength) {
    if (cookiesLength <= 4 || static_cast<std::size_t>(cookiesLength) > cookies.size()) return std::string();
    return cookies.substr(2, static_cast<std::size_t>(cookiesLength) - 4);
}

std::string CookieValueOf(const std::string& cookies, const std::string& name, bool withName) {
    if (name.empty()) return std::string();
    std::size_t found = cookies.find("; " + name + "=");
    if (found == std::string::npos) return std::string();
    std::size_t start = found + 2;
    std::size_t end = cookies.find(';', start + name.size());
    if (end == std::string::npos) return std::string();
    std::size_t from = withName ? start : start + name.size() + 1;
    return cookies.substr(from, end - from);
}

std::string JoinedSetCookies(const std::string& headers) {
    std::string joined;
    for (const std::string& entry : SetCookieEntries(headers))
        if (!IsDeletionMarker(entry)) joined += entry + " ";
    if (joined.size() >= 2) joined.resize(joined.size() - 2);
    return joined;
}

std::string SetCookieValueOf(const std::string& headers, const std::string& name) {
    if (headers.empty() || name.empty()) return std::string();
    // The usual spelling has one space after the colon; without it is the fallback.
    for (const char* prefix : {"\r\nSet-Cookie: ", "\r\nSet-Cookie:"}) {
        std::string key = prefix + name + "=";
        std::size_t at = FindNoCase(headers, key);
        if (at == std::string::npos) continue;
        std::size_t next = 0;
        std::string entry = EntryAt(headers, at + key.size(), next);
        return entry.substr(0, entry.size() - 1);
    }
    return std::string();
}

}  // namespace http
