// The local CDN the client tests talk to, and the seam through which they
// watch what the client hands to WinHTTP.
#pragma once

#include "cdn_fixture.h"
#include "http/winhttp_calls.h"

#include <string>
#include <vector>

// HTTPS on 18500, started on first use and stopped at exit.
CdnServer& LocalCdn();
// A plain-HTTP server on 18510, for URLs without a scheme and a second port.
CdnServer& PlainCdn();
// HTTPS on 18520 with a certificate from the trusted test CA for another name.
CdnServer& MisnamedCdn();
std::string CdnUrl(const std::string& path);    // https://127.0.0.1:18500 + path
std::string PlainUrl(const std::string& path);  // http://127.0.0.1:18510 + path
// Nothing listens here.
constexpr int kRefusedPort = 18549;

// The requests a server received while this object lived.
class LogWindow {
public:
    explicit LogWindow(CdnServer& server) : server_(server), start_(server.LogCount()) {}
    std::vector<CdnLogEntry> Entries() { return server_.Log(start_); }

private:
    CdnServer& server_;
    int start_;
};

// Restores the WinHTTP call table when a test that wrapped entries ends.
class CallTableGuard {
public:
    CallTableGuard() : saved_(WinHttp()) {}
    ~CallTableGuard() { WinHttp() = saved_; }

private:
    WinHttpCalls saved_;
};

// One WinHttpSetOption call as the client made it.
struct OptionCall {
    HINTERNET handle;
    DWORD option;
    std::vector<unsigned char> data;
    DWORD Dword() const;
    std::wstring Text(std::size_t offset = 0) const;  // UTF-16 from that byte offset
};
// Records every WinHttpSetOption call (and still makes it) while it lives.
class OptionRecorder {
public:
    OptionRecorder();
    std::vector<OptionCall> Calls(DWORD option) const;

private:
    CallTableGuard guard_;
};
