// Cookie modes against the local CDN: the client's own cookie text (mode 1)
// with manual redirects, and the WinINet store (mode 2).
#include "http/http_client.h"
#include "local_cdn.h"

#include <gtest/gtest.h>

namespace {

class CookieModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LocalCdn().Ready());
        ASSERT_TRUE(LocalCdn().Put("clip", "0123456789"));
    }
    static std::vector<CdnLogEntry> Request(HttpClient& client, const std::string& verb, const std::string& path,
                                            std::optional<std::string> body = std::nullopt,
                                            std::optional<int> keepOnEmpty = std::nullopt) {
        LogWindow log(LocalCdn());
        EXPECT_TRUE(client.OpenRequest(verb, CdnUrl(path)));
        EXPECT_TRUE(client.Send(body, keepOnEmpty));
        return log.Entries();
    }
};

TEST_F(CookieModeTest, RedirectsAreFollowedWithEachHopsCookies) {
    ASSERT_TRUE(LocalCdn().Route("/p/q", 302, {"Location: /r/a", "Set-Cookie: c1=1; path=/"}));
    ASSERT_TRUE(LocalCdn().Route("/r/a", 302, {"Location: b", "Set-Cookie: c2=2; HttpOnly"}));
    ASSERT_TRUE(LocalCdn().Route("/r/b", 200, {"Set-Cookie: c1=9"}, "end"));
    HttpClient client;
    client.SetCookieMode();  // omitted means mode 1
    auto entries = Request(client, "GET", "/p/q");
    ASSERT_EQ(3u, entries.size());
    EXPECT_EQ("/p/q", entries[0].path);
    EXPECT_EQ("", entries[0].Header("Cookie"));  // the cookie text holds nothing yet
    EXPECT_EQ("/r/a", entries[1].path);
    EXPECT_EQ("c1=1", entries[1].Header("Cookie"));
    EXPECT_EQ("/r/b", entries[2].path);
    EXPECT_EQ("c1=1; c2=2", entries[2].Header("Cookie"));
    EXPECT_EQ(200, client.GetStatusCode());
    EXPECT_EQ("end", client.ReadBodyText());
    EXPECT_EQ("c1=9; c2=2", client.CookieText());
    EXPECT_EQ("9", client.GetCookie("c1"));
}

TEST_F(CookieModeTest, RedirectedPostBecomesGetWithoutBody) {
    ASSERT_TRUE(LocalCdn().Route("/form", 302, {"Location: /files/clip"}));
    HttpClient client;
    client.SetCookieMode(1);
    auto entries = Request(client, "POST", "/form", std::string("a=1"));
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ("POST", entries[0].method);
    EXPECT_EQ("a=1", entries[0].body);
    EXPECT_EQ("GET", entries[1].method);
    EXPECT_EQ("", entries[1].body);
    EXPECT_EQ("0123456789", client.ReadBodyText());
}

TEST_F(CookieModeTest, TwentyRedirectsInARowAtMost) {
    ASSERT_TRUE(LocalCdn().Route("/loop", 302, {"Location: /loop"}));
    ASSERT_TRUE(LocalCdn().Route("/once", 302, {"Location: /files/clip"}));
    HttpClient client;
    client.SetCookieMode(1);
    EXPECT_EQ(2u, Request(client, "GET", "/once").size());
    // The original request and 20 followed; the 21st Location stays unfollowed.
    EXPECT_EQ(21u, Request(client, "GET", "/loop").size());
    EXPECT_EQ(302, client.GetStatusCode());
    EXPECT_EQ("/loop", client.GetLocation());
    EXPECT_EQ("https://127.0.0.1:18500/loop", client.GetLocation(true));
    // The counter went back to 0, so the next run gets its 20 again.
    EXPECT_EQ(21u, Request(client, "GET", "/loop").size());
}

TEST_F(CookieModeTest, ModeOneMergesWhatResponsesSet) {
    ASSERT_TRUE(LocalCdn().Route("/set-two", 200, {"Set-Cookie: a=1; path=/", "set-cookie: b=2; Secure"}));
    ASSERT_TRUE(LocalCdn().Route("/set-a5", 200, {"Set-Cookie: a=5"}));
    ASSERT_TRUE(LocalCdn().Route("/delete-b", 200, {"Set-Cookie: b=deleted; expires=Thu, 01 Jan 1970 00:00:00 GMT"}));
    ASSERT_TRUE(LocalCdn().Route("/empty-a", 200, {"Set-Cookie: a=; path=/"}));
    HttpClient client;
    client.SetCookieMode(1);
    Request(client, "GET", "/set-two");
    EXPECT_EQ("a=1; b=2", client.CookieText());
    EXPECT_EQ("a=1; b=2", client.GetSetCookies());
    EXPECT_EQ("2", client.GetSetCookie("b"));
    Request(client, "GET", "/set-a5");
    EXPECT_EQ("a=5; b=2", client.CookieText());
    Request(client, "GET", "/delete-b", std::nullopt, 1);
    EXPECT_EQ("a=5; b=2", client.CookieText());
    EXPECT_EQ("", client.GetSetCookies());  // a deletion is not a cookie set
    Request(client, "GET", "/empty-a", std::nullopt, 1);
    EXPECT_EQ("a=5; b=2", client.CookieText());
    Request(client, "GET", "/delete-b");
    EXPECT_EQ("a=5", client.CookieText());
    Request(client, "GET", "/empty-a");
    EXPECT_EQ("a=", client.CookieText());
    auto sent = Request(client, "GET", "/files/clip");
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ("a=", sent[0].Header("Cookie"));
}

TEST_F(CookieModeTest, CookieTextOperations) {
    HttpClient client;
    EXPECT_EQ("a=1", client.CookieText(std::string("a=1")));
    EXPECT_EQ("a=1", client.CookieText());
    EXPECT_EQ("", client.CookieText(std::string("")));
    EXPECT_EQ("", client.CookieText());
    client.CookieText(std::string("ab=1; a=2"));
    EXPECT_EQ("2", client.GetCookie("a"));
    EXPECT_EQ("a=2", client.GetCookie("a", 1));
    EXPECT_EQ("", client.GetCookie("b"));
    client.CookieText(std::string("a=5"));
    EXPECT_TRUE(client.MergeCookies("x=1; a=7"));
    EXPECT_EQ("a=7; x=1", client.CookieText());
    EXPECT_TRUE(client.DeleteCookies("x; a=anything"));
    EXPECT_EQ("", client.CookieText());
    EXPECT_FALSE(client.DeleteCookies("a"));
    EXPECT_FALSE(client.MergeCookies(""));
}

TEST_F(CookieModeTest, SetCookieHeaderPerMode) {
    HttpClient client;
    EXPECT_FALSE(client.SetCookieHeader("k=v"));  // mode 0 needs a request
    ASSERT_TRUE(client.OpenRequest("GET", CdnUrl("/files/clip")));
    ASSERT_TRUE(client.SetCookieHeader("k=v"));
    LogWindow log(LocalCdn());
    ASSERT_TRUE(client.Send());
    auto entries = log.Entries();
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ("k=v", entries[0].Header("Cookie"));
    EXPECT_EQ("", client.CookieText());  // mode 0 keeps no cookie text
    EXPECT_FALSE(Request(client, "GET", "/files/clip")[0].HasHeader("Cookie"));  // that request only

    client.SetCookieMode(1);
    EXPECT_TRUE(client.SetCookieHeader("k=v; m=w"));
    EXPECT_EQ("k=v; m=w", client.CookieText());
    EXPECT_EQ("k=v; m=w", Request(client, "GET", "/files/clip")[0].Header("Cookie"));
    client.SetCookieMode(7);  // out of range: mode 0
    EXPECT_FALSE(Request(client, "GET", "/files/clip")[0].HasHeader("Cookie"));
}

TEST_F(CookieModeTest, ModeTwoUsesTheWinInetStore) {
    // The store outlives the process, so each run uses names of its own.
    const std::string tag = std::to_string(GetTickCount64());
    const std::string kept = "st" + tag, gone = "gone" + tag, given = "given" + tag;
    ASSERT_TRUE(LocalCdn().Route("/m2/set", 200, {"Set-Cookie: " + kept + "=abc; path=/", "Set-Cookie: " + gone + "=1; path=/"}));
    ASSERT_TRUE(LocalCdn().Route("/m2/drop", 200, {"Set-Cookie: " + gone + "=deleted; path=/"}));
    ASSERT_TRUE(LocalCdn().Route("/m2/check", 200, {}));
    HttpClient client;
    client.SetCookieMode(2);
    Request(client, "GET", "/m2/set");
    EXPECT_EQ("", client.CookieText());  // nothing in the client's own text
    // Attributes are not stored, so the store applies its own default path (/m2/).
    auto sent = Request(client, "GET", "/m2/check");
    ASSERT_EQ(1u, sent.size());
    std::string cookie = sent[0].Header("Cookie");
    EXPECT_NE(std::string::npos, cookie.find(kept + "=abc")) << cookie;
    EXPECT_NE(std::string::npos, cookie.find(gone + "=1")) << cookie;

    Request(client, "GET", "/m2/drop");
    ASSERT_TRUE(client.OpenRequest("GET", CdnUrl("/m2/check")));
    EXPECT_TRUE(client.SetCookieHeader(given + "=x"));  // mode 2: into the store
    EXPECT_FALSE(client.StoreCookies("novalue"));
    LogWindow log(LocalCdn());
    ASSERT_TRUE(client.Send());
    cookie = log.Entries().at(0).Header("Cookie");
    EXPECT_NE(std::string::npos, cookie.find(kept + "=abc")) << cookie;
    EXPECT_NE(std::string::npos, cookie.find(given + "=x")) << cookie;
    EXPECT_EQ(std::string::npos, cookie.find(gone + "=1")) << cookie;

    // No cookie for another host: no Cookie header at all.
    LogWindow other(LocalCdn());
    ASSERT_TRUE(client.OpenRequest("GET", "https://localhost:18500/m2/check"));
    EXPECT_FALSE(client.AddStoreCookieHeader());
    ASSERT_TRUE(client.Send());
    EXPECT_FALSE(other.Entries().at(0).HasHeader("Cookie"));
}

}  // namespace
