// The client's cookie text and the "Set-Cookie:" scan, as pure functions.
//
// The cookie text is "; " followed by every cookie as name=value and "; ", in
// the order the cookies were first added; "; " alone holds none. Names are
// compared exactly. A "Set-Cookie:" entry is name=value; without attributes:
// the header's value up to its first ";", or up to the end of its line when it
// has none (a ";" is then supplied), leading spaces removed.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace http {

// The "Set-Cookie:" entries of raw response headers, in order ("set-cookie:"
// in any case, at the start of a line).
std::vector<std::string> SetCookieEntries(const std::string& headers);
// The entry ends in "=deleted;", "=DELETED;" or "=Deleted;".
bool IsDeletionMarker(const std::string& entry);

// Takes a response's entries into the cookie text; returns whether it changed.
// keepOnEmpty 1: a deletion or an empty value keeps the value held.
bool MergeSetCookieEntries(std::string& cookies, const std::string& headers, int keepOnEmpty);
// The (name, data) pairs a response stores in the WinINet store; a deletion
// stores an empty value.
std::vector<std::pair<std::string, std::string>> StoreSetCookieEntries(const std::string& headers, int keepOnEmpty);
// name=value pairs separated by ";" merged into the cookie text; whether it changed.
bool MergeCookiePairs(std::string& cookies, const std::string& pairs);
// Removes the cookies named (names or name=value pairs separated by ";").
bool DeleteCookieNames(std::string& cookies, const std::string& names);
// The (name, value) assignments of a text of pairs separated by ";".
std::vector<std::pair<std::string, std::string>> CookieAssignments(const std::string& pairs);

// A caller's cookie text given the "; " framing at both ends.
std::string FrameCookieText(const std::string& text);
// The pairs of a cookie text of that length, without the framing.
std::string CookiePairsOf(const std::string& cookies, int cookiesLength);
// The value (or name=value) of one cookie; empty when absent.
std::string CookieValueOf(const std::string& cookies, const std::string& name, bool withName);

// A response's cookies as name=value pairs joined by "; ", deletions left out.
std::string JoinedSetCookies(const std::string& headers);
// The value a response sets for one name, or empty.
std::string SetCookieValueOf(const std::string& headers, const std::string& name);

}  // namespace http
