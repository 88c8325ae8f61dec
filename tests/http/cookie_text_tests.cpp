// The cookie text and the Set-Cookie scan, without a network.
#include "http/cookie_text.h"

#include <gtest/gtest.h>

namespace {

std::string Response(const std::string& setCookieLines) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\n" + setCookieLines +
           "Content-Length: 0\r\n\r\n";
}

// Cookie texts are written as the pairs they hold; "; " framing is added here.
std::string Framed(const std::string& pairs) { return pairs.empty() ? "; " : "; " + pairs + "; "; }

TEST(CookieText, MergeOfSetCookieHeaders) {
    const struct {
        const char* what;
        std::string held;
        std::string lines;
        int keepOnEmpty;
        std::string after;
        bool changed;
    } cases[] = {
        {"two new cookies, attributes dropped", "",
         "Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2; HttpOnly\r\n", 0, "a=1; b=2", true},
        {"a replaced in place", "a=1; b=2", "Set-Cookie: a=5; path=/\r\n", 0, "a=5; b=2", true},
        {"deleted", "a=5; b=2", "Set-Cookie: b=deleted; expires=x\r\n", 0, "a=5", true},
        {"DELETED", "a=5; b=2", "Set-Cookie: b=DELETED;\r\n", 0, "a=5", true},
        {"Deleted", "b=2; a=5", "Set-Cookie: b=Deleted;\r\n", 0, "a=5", true},
        {"deleted kept", "a=5; b=2", "Set-Cookie: b=deleted;\r\n", 1, "a=5; b=2", false},
        {"DeLeTeD is a value", "a=5; b=2", "Set-Cookie: b=DeLeTeD;\r\n", 0, "a=5; b=DeLeTeD", true},
        {"empty value kept", "a=5; b=2", "Set-Cookie: a=;\r\n", 1, "a=5; b=2", false},
        {"empty value taken", "a=5; b=2", "Set-Cookie: a=;\r\n", 0, "a=; b=2", true},
        {"deleting one not held", "a=5", "Set-Cookie: c=deleted;\r\n", 0, "a=5", false},
        {"names are case-sensitive", "a=5", "Set-Cookie: A=9;\r\n", 0, "a=5; A=9", true},
        {"lower-case header name", "", "set-cookie: s=1; path=/\r\n", 0, "s=1", true},
        {"a new empty value even with keepOnEmpty", "", "Set-Cookie: e=;\r\n", 1, "e=", true},
        {"a name that ends another's is its own", "ab=1", "Set-Cookie: b=2;\r\n", 0, "ab=1; b=2", true},
        {"entry without =", "a=1", "Set-Cookie: junk;\r\n", 0, "a=1", false},
        // A line without ";" ends at its line; it does not swallow the next header.
        {"no ; on the line", "", "Set-Cookie: n=1\r\nX-Other: y; z\r\nSet-Cookie: m=2\r\n", 0, "n=1; m=2", true},
        {"GBK full-width space before the entry", "", "Set-Cookie:\xA1\xA1w=1;\r\n", 0, "w=1", true},
        {"header named like Set-Cookie", "", "X-Set-Cookie: x=1;\r\n", 0, "", false},
    };
    for (const auto& c : cases) {
        std::string cookies = Framed(c.held);
        EXPECT_EQ(c.changed, http::MergeSetCookieEntries(cookies, Response(c.lines), c.keepOnEmpty)) << c.what;
        EXPECT_EQ(Framed(c.after), cookies) << c.what;
    }
}

TEST(CookieText, StoreEntriesForTheCookieStore) {
    using Stores = std::vector<std::pair<std::string, std::string>>;
    const std::string lines = "Set-Cookie: a=1; path=/\r\nSet-Cookie: b=deleted;\r\nSet-Cookie: c= ;\r\n"
                              "Set-Cookie: novalue;\r\n";
    EXPECT_EQ((Stores{{"a", "1"}, {"b", ""}, {"c", " "}}), http::StoreSetCookieEntries(Response(lines), 0));
    EXPECT_EQ((Stores{{"a", "1"}}), http::StoreSetCookieEntries(Response(lines), 1));
}

TEST(CookieText, MergeAndDeleteByName) {
    std::string cookies = Framed("a=5");
    EXPECT_TRUE(http::MergeCookiePairs(cookies, "x=1; a=7"));
    EXPECT_EQ(Framed("a=7; x=1"), cookies);
    EXPECT_FALSE(http::MergeCookiePairs(cookies, ""));
    EXPECT_FALSE(http::MergeCookiePairs(cookies, "noequals; ;"));
    EXPECT_EQ(Framed("a=7; x=1"), cookies);

    EXPECT_TRUE(http::DeleteCookieNames(cookies, "x; a=anything"));
    EXPECT_EQ("; ", cookies);
    EXPECT_FALSE(http::DeleteCookieNames(cookies, "a"));
    EXPECT_FALSE(http::DeleteCookieNames(cookies, ""));

    cookies = Framed("ab=1; a=2; b=3");
    EXPECT_TRUE(http::DeleteCookieNames(cookies, "a"));
    EXPECT_EQ(Framed("ab=1; b=3"), cookies);
}

TEST(CookieText, FramingAndLookup) {
    const struct {
        const char* given;
        const char* stored;
    } cases[] = {
        {"a=1", "; a=1; "},
        {"; a=1; b=2; ", "; a=1; b=2; "},
        {"a=1;", "; a=1; "},
        {"a=1 ", "; a=1; "},   // trailing spaces go, so the text ends in "; "
        {"", "; "},
    };
    for (const auto& c : cases) EXPECT_EQ(c.stored, http::FrameCookieText(c.given)) << c.given;

    EXPECT_EQ("a=1", http::CookiePairsOf("; a=1; ", 7));
    EXPECT_EQ("", http::CookiePairsOf("; ", 2));

    const std::string cookies = Framed("ab=1; a=2");
    EXPECT_EQ("2", http::CookieValueOf(cookies, "a", false));
    EXPECT_EQ("a=2", http::CookieValueOf(cookies, "a", true));
    EXPECT_EQ("1", http::CookieValueOf(cookies, "ab", false));
    EXPECT_EQ("", http::CookieValueOf(cookies, "b", false));
    EXPECT_EQ("", http::CookieValueOf(cookies, "", false));
}

TEST(CookieText, SetCookiesOfAResponse) {
    const std::string headers =
        Response("Set-Cookie: a=1; path=/\r\nSet-Cookie: gone=deleted;\r\nset-cookie: b=2\r\nSet-Cookie:c=3;\r\n");
    EXPECT_EQ("a=1; b=2; c=3", http::JoinedSetCookies(headers));
    EXPECT_EQ("", http::JoinedSetCookies(Response("")));

    const struct {
        const char* name;
        const char* value;
    } cases[] = {{"a", "1"}, {"A", "1"}, {"b", "2"}, {"c", "3"}, {"gone", "deleted"}, {"d", ""}, {"", ""}};
    for (const auto& c : cases) EXPECT_EQ(c.value, http::SetCookieValueOf(headers, c.name)) << c.name;
}

}  // namespace

namespace {

// Texts built from the pieces the rules look for, in any order.
std::string ArbitraryText(unsigned& seed, int pieces) {
    static const char* const parts[] = {"Set-Cookie:", "set-cookie: ", "=", ";", "; ", " ", "\r\n", "a", "b",
                                        "ab", "deleted", "DELETED", "\xA1\xA1", "x=1", "=deleted;", ""};
    std::string text;
    for (int i = 0; i < pieces; ++i) {
        seed = seed * 1103515245u + 12345u;
        text += parts[(seed >> 16) % (sizeof parts / sizeof parts[0])];
    }
    return text;
}

bool KeepsFraming(const std::string& cookies) {
    return cookies.size() >= 2 && cookies.compare(0, 2, "; ") == 0 && cookies.compare(cookies.size() - 2, 2, "; ") == 0;
}

TEST(CookieText, FramingSurvivesArbitraryInput) {
    unsigned seed = 7;
    for (int round = 0; round < 3000; ++round) {
        std::string cookies = "; a=1; ab=2; ";
        const std::string headers = "HTTP/1.1 200 OK\r\n" + ArbitraryText(seed, 12);
        for (int keep : {0, 1}) {
            http::MergeSetCookieEntries(cookies, headers, keep);
            ASSERT_TRUE(KeepsFraming(cookies)) << headers;
        }
        http::MergeCookiePairs(cookies, ArbitraryText(seed, 6));
        ASSERT_TRUE(KeepsFraming(cookies));
        http::DeleteCookieNames(cookies, ArbitraryText(seed, 6));
        ASSERT_TRUE(KeepsFraming(cookies));
        ASSERT_TRUE(KeepsFraming(http::FrameCookieText(ArbitraryText(seed, 4))));
        for (const std::string& entry : http::SetCookieEntries(headers)) {
            ASSERT_EQ(';', entry.back()) << headers;
            ASSERT_EQ(std::string::npos, entry.find("\r\n")) << headers;  // never runs into the next header
        }
        http::JoinedSetCookies(headers);
        http::SetCookieValueOf(headers, "a");
        http::StoreSetCookieEntries(headers, round % 2);
        http::CookieValueOf(cookies, "a", round % 2 == 0);
    }
}

}  // namespace
