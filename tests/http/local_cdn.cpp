#include "local_cdn.h"

#include <cstring>
#include <memory>

namespace {

CdnServer& Started(std::unique_ptr<CdnServer>& server, int port, bool plain, const char* certName = "") {
    if (!server) {
        CdnOptions options;
        options.port = port;
        options.plain = plain;
        options.certName = certName;
        server.reset(new CdnServer(options));
    }
    return *server;
}

std::unique_ptr<CdnServer> secureServer;
std::unique_ptr<CdnServer> plainServer;
std::unique_ptr<CdnServer> misnamedServer;

std::vector<OptionCall> recordedOptions;
decltype(&::WinHttpSetOption) realSetOption = nullptr;

BOOL WINAPI RecordingSetOption(HINTERNET handle, DWORD option, LPVOID buffer, DWORD length) {
    OptionCall call{handle, option, {}};
    if (buffer && option != WINHTTP_OPTION_PROXY) {
        const unsigned char* bytes = static_cast<const unsigned char*>(buffer);
        call.data.assign(bytes, bytes + length);
    } else if (buffer) {
        // Keep the proxy record's access type and name, not its pointers.
        const WINHTTP_PROXY_INFO* info = static_cast<const WINHTTP_PROXY_INFO*>(buffer);
        std::wstring name = info->lpszProxy ? info->lpszProxy : L"";
        const unsigned char* type = reinterpret_cast<const unsigned char*>(&info->dwAccessType);
        call.data.assign(type, type + sizeof(DWORD));
        const unsigned char* text = reinterpret_cast<const unsigned char*>(name.c_str());
        call.data.insert(call.data.end(), text, text + (name.size() + 1) * sizeof(wchar_t));
    }
    recordedOptions.push_back(call);
    return realSetOption(handle, option, buffer, length);
}

}  // namespace

CdnServer& LocalCdn() { return Started(secureServer, 18500, false); }
CdnServer& PlainCdn() { return Started(plainServer, 18510, true); }
CdnServer& MisnamedCdn() { return Started(misnamedServer, 18520, false, "elsewhere.test"); }
std::string CdnUrl(const std::string& path) { return LocalCdn().Origin() + path; }
std::string PlainUrl(const std::string& path) { return PlainCdn().Origin() + path; }

DWORD OptionCall::Dword() const {
    DWORD value = 0;
    if (data.size() >= sizeof value) std::memcpy(&value, data.data(), sizeof value);
    return value;
}

std::wstring OptionCall::Text(std::size_t offset) const {
    std::size_t bytes = data.size() > offset ? data.size() - offset : 0;
    std::wstring text(bytes / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(&text[0], data.data() + offset, text.size() * sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

OptionRecorder::OptionRecorder() {
    recordedOptions.clear();
    realSetOption = WinHttp().setOption;
    WinHttp().setOption = RecordingSetOption;
}

std::vector<OptionCall> OptionRecorder::Calls(DWORD option) const {
    std::vector<OptionCall> calls;
    for (const OptionCall& call : recordedOptions)
        if (call.option == option) calls.push_back(call);
    return calls;
}
