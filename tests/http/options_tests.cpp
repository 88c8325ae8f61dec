// Request options and headers as the server sees them, and, where Wine accepts
// an option without acting on it, as the client hands it to WinHTTP.
#include "http/http_client.h"
#include "local_cdn.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LocalCdn().Ready());
        ASSERT_TRUE(LocalCdn().Put("clip", "0123456789"));
    }
    // One request with `setup` applied between OpenRequest and Send; the
    // request as the server logged it.
    CdnLogEntry Sent(HttpClient& client, const std::string& url, const std::function<void(HttpClient&)>& setup) {
        LogWindow log(LocalCdn());
        EXPECT_TRUE(client.OpenRequest("GET", url));
        setup(client);
        EXPECT_TRUE(client.Send());
        auto entries = log.Entries();
        EXPECT_EQ(1u, entries.size());
        return entries.empty() ? CdnLogEntry() : entries.back();
    }
};

TEST_F(OptionsTest, HeaderSettersAsTheServerSeesThem) {
    const std::string url = CdnUrl("/files/clip?q=1");
    const struct {
        const char* what;
        std::function<void(HttpClient&)> setup;
        const char* header;
        const char* value;  // the first one; nullptr: the header must be absent
        int count;
    } cases[] = {
        {"add", [](HttpClient& c) { c.SetHeader("X-Tag", "one"); }, "X-Tag", "one", 1},
        {"replace", [](HttpClient& c) { c.SetHeader("X-Tag", "one"); c.SetHeader("X-Tag", "two"); }, "X-Tag", "two", 1},
        {"plain add keeps both",
         [](HttpClient& c) { c.SetHeader("X-Tag", "one"); c.SetHeader("X-Tag", "two", WINHTTP_ADDREQ_FLAG_ADD); },
         "X-Tag", "one", 2},
        {"remove", [](HttpClient& c) { c.SetHeader("X-Tag", "one"); c.RemoveHeader("X-Tag"); }, "X-Tag", nullptr, 0},
        {"empty value with replace removes",
         [](HttpClient& c) { c.SetHeader("X-Tag", "one"); c.SetHeader("X-Tag", "", WINHTTP_ADDREQ_FLAG_REPLACE); },
         "X-Tag", nullptr, 0},
        {"user agent", [](HttpClient& c) { c.SetUserAgent(std::string("Agent/9")); }, "User-Agent", "Agent/9", 1},
        {"accept", [](HttpClient& c) { c.SetAccept(std::string("text/html")); }, "Accept", "text/html", 1},
        {"accept default", [](HttpClient& c) { c.SetAccept(); }, "Accept", "*/*", 1},
        {"language", [](HttpClient& c) { c.SetAcceptLanguage(std::string("en-gb")); }, "Accept-Language", "en-gb", 1},
        {"content type", [](HttpClient& c) { c.SetContentType(); }, "Content-Type",
         "application/x-www-form-urlencoded", 1},
        {"content type given", [](HttpClient& c) { c.SetContentType(std::string("text/plain")); }, "Content-Type",
         "text/plain", 1},
        {"ajax", [](HttpClient& c) { c.SetAjax(); }, "x-requested-with", "XMLHttpRequest", 1},
        {"referer given", [](HttpClient& c) { c.SetReferer(std::string("https://r/x")); }, "Referer", "https://r/x", 1},
        {"referer omitted", [](HttpClient& c) { c.SetReferer(); }, "Referer", "https://127.0.0.1:18500/files/clip?q=1", 1},
    };
    for (const auto& c : cases) {
        HttpClient client;
        CdnLogEntry entry = Sent(client, url, c.setup);
        if (c.value) {
            EXPECT_EQ(c.value, entry.Header(c.header)) << c.what;
            EXPECT_EQ(c.count, entry.HeaderCount(c.header)) << c.what;
        } else {
            EXPECT_FALSE(entry.HasHeader(c.header)) << c.what;
        }
    }
}

TEST_F(OptionsTest, SettersWithoutARequestFail) {
    HttpClient client;
    EXPECT_FALSE(client.SetHeader("X-Tag", "one"));
    EXPECT_FALSE(client.RemoveHeader("X-Tag"));
    EXPECT_FALSE(client.SetClientAddress("1.2.3.4"));
    EXPECT_FALSE(client.SetCredentials("u", "p"));
    EXPECT_FALSE(client.SetOption(2, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_COOKIES, 4));
    EXPECT_FALSE(client.SetOption(1, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_COOKIES, 4));
    ASSERT_TRUE(client.OpenRequest("GET", CdnUrl("/files/clip")));
    EXPECT_FALSE(client.SetHeader("", "value"));
    EXPECT_TRUE(client.SetOption(2, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_COOKIES, 4));
    EXPECT_TRUE(client.SetOption(std::nullopt, WINHTTP_OPTION_CONNECT_TIMEOUT, 5000, 4));  // on the session
    EXPECT_FALSE(client.SetOption(2, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_COOKIES, 64));
    client.Close();
    EXPECT_FALSE(client.SetTimeouts());
    EXPECT_FALSE(client.SetProxy("127.0.0.1:1", "u", "p"));
}

TEST_F(OptionsTest, ClientAddressGivesFourHeaders) {
    HttpClient client;
    CdnLogEntry entry = Sent(client, CdnUrl("/files/clip"), [](HttpClient& c) { c.SetClientAddress("10.1.2.3"); });
    for (const char* name : {"X-Forwarded-For", "CLIENT_IP", "VIA", "REMOTE_ADDR"})
        EXPECT_EQ("10.1.2.3", entry.Header(name)) << name;
}

TEST_F(OptionsTest, OwnCookieHeaderSwitchesOffWinHttpCookiesOnlyInModeZero) {
    ASSERT_TRUE(LocalCdn().Route("/sets-cookie", 200, {"Set-Cookie: session=s1; path=/"}, "ok"));
    HttpClient client;
    Sent(client, CdnUrl("/sets-cookie"), [](HttpClient&) {});
    // WinHTTP keeps that cookie for the session and sends it on by itself...
    CdnLogEntry own = Sent(client, CdnUrl("/files/clip"), [](HttpClient&) {});
    EXPECT_EQ("session=s1", own.Header("Cookie"));
    // ...unless the caller sets a Cookie header, which then goes alone.
    CdnLogEntry mine = Sent(client, CdnUrl("/files/clip"), [](HttpClient& c) { c.SetHeader("cookie", "mine=1"); });
    EXPECT_EQ("mine=1", mine.Header("Cookie"));

    for (int mode : {0, 1}) {
        HttpClient modal;
        modal.SetCookieMode(mode);
        ASSERT_TRUE(modal.OpenRequest("GET", CdnUrl("/files/clip")));
        OptionRecorder options;
        ASSERT_TRUE(modal.SetHeader("Cookie", "mine=1"));
        auto calls = options.Calls(WINHTTP_OPTION_DISABLE_FEATURE);
        ASSERT_EQ(mode == 0 ? 1u : 0u, calls.size()) << "mode " << mode;
        if (mode == 0) {
            EXPECT_EQ(static_cast<DWORD>(WINHTTP_DISABLE_COOKIES), calls[0].Dword());
        }
    }
}

struct TimeoutCall {
    int resolve, connect, send, receive;
};
std::vector<TimeoutCall> timeoutCalls;
decltype(&::WinHttpSetTimeouts) realSetTimeouts = nullptr;
BOOL WINAPI RecordingSetTimeouts(HINTERNET handle, int resolve, int connect, int send, int receive) {
    timeoutCalls.push_back({resolve, connect, send, receive});
    return realSetTimeouts(handle, resolve, connect, send, receive);
}

TEST_F(OptionsTest, TimeoutsTakeDefaultsForWhatIsOmitted) {
    CallTableGuard guard;
    realSetTimeouts = WinHttp().setTimeouts;
    WinHttp().setTimeouts = RecordingSetTimeouts;
    timeoutCalls.clear();
    HttpClient client;  // construction sets the defaults
    EXPECT_TRUE(client.SetTimeouts(std::nullopt, 5000));
    EXPECT_TRUE(client.SetTimeouts(1, 2, 3, 4));
    ASSERT_EQ(3u, timeoutCalls.size());
    const TimeoutCall expected[] = {{10000, 15000, 120000, 300000}, {10000, 5000, 120000, 300000}, {1, 2, 3, 4}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(expected[i].resolve, timeoutCalls[i].resolve) << i;
        EXPECT_EQ(expected[i].connect, timeoutCalls[i].connect) << i;
        EXPECT_EQ(expected[i].send, timeoutCalls[i].send) << i;
        EXPECT_EQ(expected[i].receive, timeoutCalls[i].receive) << i;
    }
}

TEST_F(OptionsTest, FollowRedirectsSwitch) {
    ASSERT_TRUE(LocalCdn().Route("/hop", 302, {"Location: /files/clip"}));
    for (int mode : {0, 1}) {
        HttpClient client;
        client.SetCookieMode(mode);
        const struct {
            std::optional<bool> allow;
            bool setIt;
            int status;
        } steps[] = {{false, true, 302}, {std::nullopt, true, 200}, {true, true, 200}, {false, true, 302}};
        for (const auto& step : steps) {
            LogWindow log(LocalCdn());
            client.SetFollowRedirects(step.allow);
            ASSERT_TRUE(client.OpenRequest("GET", CdnUrl("/hop")));
            ASSERT_TRUE(client.Send());
            EXPECT_EQ(step.status, client.GetStatusCode()) << "mode " << mode;
            EXPECT_EQ(step.status == 302 ? 1u : 2u, log.Entries().size()) << "mode " << mode;
        }
    }
}

TEST_F(OptionsTest, ProxyCredentialsWaitForTheNextRequestOnly) {
    OptionRecorder options;
    HttpClient client;
    ASSERT_TRUE(client.SetProxy("127.0.0.1:18548", "user", "secret"));
    auto proxies = options.Calls(WINHTTP_OPTION_PROXY);
    ASSERT_EQ(1u, proxies.size());
    EXPECT_EQ(static_cast<DWORD>(WINHTTP_ACCESS_TYPE_NAMED_PROXY), proxies[0].Dword());
    EXPECT_EQ(L"127.0.0.1:18548", proxies[0].Text(sizeof(DWORD)));
    EXPECT_TRUE(options.Calls(WINHTTP_OPTION_PROXY_USERNAME).empty());  // no request yet

    // Wine takes the proxy option but does not act on it, so the requests still go direct.
    ASSERT_TRUE(client.OpenRequest("GET", CdnUrl("/files/clip")));
    HINTERNET first = client.RequestHandle();
    ASSERT_TRUE(client.Send());
    ASSERT_TRUE(client.OpenRequest("GET", CdnUrl("/files/clip")));
    ASSERT_TRUE(client.Send());
    auto users = options.Calls(WINHTTP_OPTION_PROXY_USERNAME);
    auto passwords = options.Calls(WINHTTP_OPTION_PROXY_PASSWORD);
    ASSERT_EQ(1u, users.size());
    ASSERT_EQ(1u, passwords.size());
    EXPECT_EQ(first, users[0].handle);
    EXPECT_EQ(L"user", users[0].Text());
    EXPECT_EQ(L"secret", passwords[0].Text());
    EXPECT_EQ((4 + 1) * sizeof(wchar_t), users[0].data.size());

    // With a request open, the credentials go to it at once; an empty server
    // means no proxy.
    ASSERT_TRUE(client.OpenRequest("GET", CdnUrl("/files/clip")));
    ASSERT_TRUE(client.SetProxy("127.0.0.1:18548", "now", "pw"));
    users = options.Calls(WINHTTP_OPTION_PROXY_USERNAME);
    ASSERT_EQ(2u, users.size());
    EXPECT_EQ(client.RequestHandle(), users[1].handle);
    EXPECT_EQ(L"now", users[1].Text());
    ASSERT_TRUE(client.SetProxy("", "", ""));
    proxies = options.Calls(WINHTTP_OPTION_PROXY);
    ASSERT_EQ(3u, proxies.size());
    EXPECT_EQ(static_cast<DWORD>(WINHTTP_ACCESS_TYPE_NO_PROXY), proxies[2].Dword());
    EXPECT_EQ(2u, options.Calls(WINHTTP_OPTION_PROXY_USERNAME).size());
}

TEST_F(OptionsTest, PendingProxyCredentialsAreDroppedByReset) {
    OptionRecorder options;
    HttpClient client;
    ASSERT_TRUE(client.SetProxy("127.0.0.1:18548", "user", "secret"));
    client.Reset();
    ASSERT_TRUE(client.OpenRequest("GET", CdnUrl("/files/clip")));
    ASSERT_TRUE(client.Send());
    EXPECT_TRUE(options.Calls(WINHTTP_OPTION_PROXY_USERNAME).empty());
}

TEST_F(OptionsTest, CredentialsAnswerABasicChallenge) {
    ASSERT_TRUE(LocalCdn().Route("/private", 401, {"WWW-Authenticate: Basic realm=\"q\""}, "who?"));
    HttpClient client;
    LogWindow log(LocalCdn());
    ASSERT_TRUE(client.OpenRequest("GET", CdnUrl("/private")));
    ASSERT_TRUE(client.SetCredentials("user", "pw"));
    ASSERT_TRUE(client.Send());
    auto entries = log.Entries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ("Basic dXNlcjpwdw==", entries[0].Header("Authorization"));  // user:pw
}

}  // namespace

namespace {

TEST(OptionsPlainTest, RefererOmittedIsTheUrlWithTheAddedScheme) {
    ASSERT_TRUE(PlainCdn().Ready());
    ASSERT_TRUE(PlainCdn().Put("clip", "0123456789"));
    HttpClient client;
    LogWindow log(PlainCdn());
    ASSERT_TRUE(client.OpenRequest("GET", "127.0.0.1:18510/files/clip?b=1"));
    ASSERT_TRUE(client.SetReferer());
    ASSERT_TRUE(client.Send());
    auto entries = log.Entries();
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ("http://127.0.0.1:18510/files/clip?b=1", entries[0].Header("Referer"));
}

}  // namespace
