#include "entry_path.h"

#include "archive_error.h"

namespace archiver {
namespace {

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }
char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; }

bool IsDeviceName(const std::u16string& piece) {
  // The device is named by the part before the first dot: "nul.txt" is NUL too.
  std::u16string base;
  for (char16_t c : piece) {
    if (c == u'.') break;
    base.push_back(Upper(c));
  }
  while (!base.empty() && base.back() == u' ') base.pop_back();
  static const char16_t* const kDevices[] = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$", u"CLOCK$"};
  for (const char16_t* device : kDevices)
    if (base == device) return true;
  if (base.size() == 4 && (base.compare(0, 3, u"COM") == 0 || base.compare(0, 3, u"LPT") == 0) &&
      ((base[3] >= u'0' && base[3] <= u'9') || base[3] == u'\u00B9' || base[3] == u'\u00B2' || base[3] == u'\u00B3'))
    return true;
  return false;
}

bool IsSafePiece(const std::u16string& piece) {
  if (piece.empty() || piece.back() == u'.' || piece.back() == u' ') return false;  // also "." and ".."
  for (char16_t c : piece) {
    if (c < 0x20) return false;
    switch (c) {
      case u'<': case u'>': case u':': case u'"': case u'|': case u'?': case u'*':
        return false;
      default:
        break;
    }
  }
  return !IsDeviceName(piece);
}

std::u16string JoinPieces(const std::vector<std::u16string>& pieces, size_t count) {
  std::u16string path;
  for (size_t i = 0; i < count; ++i) {
    if (i) path.push_back(u'\\');
    path += pieces[i];
  }
  return path;
}

}  // namespace

int SplitSafeEntryPath(const std::u16string& name, std::vector<std::u16string>& pieces) {
  pieces.clear();
  if (name.empty() || IsSeparator(name[0])) return kErrorUnsafePath;
  std::u16string piece;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || IsSeparator(name[i])) {
      if (!IsSafePiece(piece)) return kErrorUnsafePath;
      pieces.push_back(piece);
      piece.clear();
    } else {
      piece.push_back(name[i]);
    }
  }
  return kOk;
}

bool WildcardMatch(const std::u16string& pattern, const std::u16string& text) {
  size_t p = 0, t = 0, starP = std::u16string::npos, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starT = t;
    } else if (p < pattern.size() && (pattern[p] == u'?' || Upper(pattern[p]) == Upper(text[t]))) {
      ++p;
      ++t;
    } else if (starP != std::u16string::npos) {
      p = starP + 1;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

bool PatternSelects(const std::u16string& pattern, const std::vector<std::u16string>& pieces) {
  std::u16string normalized;
  bool hasSeparator = false;
  for (char16_t c : pattern) {
    hasSeparator = hasSeparator || IsSeparator(c);
    normalized.push_back(IsSeparator(c) ? u'\\' : c);
  }
  while (!normalized.empty() && normalized.back() == u'\\') normalized.pop_back();
  for (size_t depth = 1; depth <= pieces.size(); ++depth) {
    bool match = hasSeparator ? WildcardMatch(normalized, JoinPieces(pieces, depth))
                              : WildcardMatch(normalized, pieces[depth - 1]);
    if (match) return true;
  }
  return false;
}

}  // namespace archiver
