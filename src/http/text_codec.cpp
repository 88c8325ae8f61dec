// The client's conversions. GBK is always code page 936, whatever the thread's
// code page; the program's texts are GBK whatever the system.
#include "http/http_client.h"

namespace {
constexpr UINT kGbk = 936;

std::string WideToGbk(const wchar_t* units, int count) {
    if (count <= 0) return std::string();
    int size = WideCharToMultiByte(kGbk, 0, units, count, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(kGbk, 0, units, count, &text[0], size, nullptr, nullptr);
    return text;
}

std::wstring BytesToWide(UINT codePage, const char* bytes, int count) {
    if (count <= 0) return std::wstring();
    int size = MultiByteToWideChar(codePage, 0, bytes, count, nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring units(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, bytes, count, &units[0], size);
    return units;
}
}  // namespace

WideText ToWide(const std::string& text) {
    WideText wide;
    if (text.empty()) return wide;
    wide.units = BytesToWide(kGbk, text.data(), static_cast<int>(text.size()));
    wide.length = static_cast<int>(wide.units.size());
    wide.units.push_back(L'\0');
    return wide;
}

std::string FromWide(const wchar_t* units, std::size_t lengthInBytes) {
    if (!units) return std::string();
    return WideToGbk(units, static_cast<int>(lengthInBytes / 2));
}

std::string Utf8ToText(const Bytes& bytes) {
    std::wstring units =
        BytesToWide(CP_UTF8, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
    return WideToGbk(units.data(), static_cast<int>(units.size()));
}
