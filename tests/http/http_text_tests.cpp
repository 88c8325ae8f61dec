// The client's text rules, without a network.
#include "http/http_text.h"

#include <gtest/gtest.h>

namespace {

const std::string kHeaders =
    "HTTP/1.1 302 Found\r\n"
    "Content-Type: text/html\r\n"
    "Content-Location: /not-this\r\n"
    "location:   /p/next  \r\n"
    "X-Content-Length: 99\r\n"
    "content-length:  12x\r\n"
    "\r\n";

TEST(HttpText, NormaliseUrl) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"h/a?b=1", "http://h/a?b=1"},
        {"HTTPS://h/", "HTTPS://h/"},
        {"Http://h", "Http://h"},
        {"https:/h", "http://https:/h"},
        {"", "http://"},
        {"ftp://h/x", "http://ftp://h/x"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.out, http::NormaliseUrl(c.in)) << c.in;
}

TEST(HttpText, HeaderValueTakesLinesNotTheStatusLine) {
    const struct {
        std::string headers;
        const char* name;
        const char* value;
    } cases[] = {
        {kHeaders, "Content-Type", "text/html"},       // the first header line
        {kHeaders, "CONTENT-TYPE", "text/html"},
        {kHeaders, "Location", "/p/next  "},            // leading spaces only are removed
        {kHeaders, "Server", ""},
        {kHeaders, "HTTP/1.1 302 Found", ""},
        // The first line is the status line, even when it looks like a header.
        {"Content-Type: first\r\nContent-Type: second\r\n\r\n", "Content-Type", "second"},
        {"HTTP/1.1 200 OK\r\nX-Wide: \xA1\xA1 v\r\n", "X-Wide", "v"},
        {"HTTP/1.1 200 OK\r\nX-Open: no line end", "X-Open", ""},
        {"", "Content-Type", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.value, http::HeaderValue(c.headers, c.name)) << c.name;
}

TEST(HttpText, ContentLength) {
    const struct {
        std::string headers;
        int length;
    } cases[] = {
        {kHeaders, 12},  // digits up to the first non-digit; X-Content-Length is another header
        {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", 0},
        {"HTTP/1.1 200 OK\r\nContent-Length: none\r\n\r\n", 0},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1048577", 1048577},  // runs to the end without CR LF
        {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n", 2147483647},
        {"HTTP/1.1 200 OK\r\nContent-Type: a\r\n\r\n", -1},
        {"", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(c.length, http::ContentLengthOf(c.headers)) << c.headers;
}

TEST(HttpText, LocationIsTrimmedAndNotContentLocation) {
    EXPECT_EQ("/p/next", http::LocationOf(kHeaders));
    EXPECT_EQ("", http::LocationOf("HTTP/1.1 200 OK\r\nContent-Location: /x\r\n\r\n"));
    EXPECT_EQ("", http::LocationOf("HTTP/1.1 302 Found\r\nLocation: /x"));
    EXPECT_EQ("", http::LocationOf(""));
}

TEST(HttpText, ResolveLocation) {
    const struct {
        const char* value;
        int scheme;
        const char* host;
        int port;
        const char* url;
        const char* target;
    } cases[] = {
        {"/a", 2, "h", 443, "https://h/p/q", "https://h:443/a"},
        {"b", 2, "h", 443, "https://h/p/q", "https://h/p/b"},
        {"/a?x=1", 1, "h", 80, "http://h/", "http://h:80/a?x=1"},
        {"b", 1, "h", 8080, "http://h:8080/", "http://h:8080/b"},
        {"HTTPS://other/x", 1, "h", 80, "http://h/p", "HTTPS://other/x"},
        {"http://other/x", 2, "h", 443, "https://h/p", "http://other/x"},
        {"b", 1, "h", 80, "nohost", "nohost/b"},
        {"", 2, "h", 443, "https://h/p", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.target, http::ResolveLocation(c.value, c.scheme, c.host, c.port, c.url)) << c.value;
}

TEST(HttpText, ReceiveBufferGrowth) {
    EXPECT_EQ(10240u, http::InitialBodyCapacity(-1));
    EXPECT_EQ(5000u, http::InitialBodyCapacity(5000));
    EXPECT_EQ(1048576u, http::InitialBodyCapacity(1048576));
    EXPECT_EQ(1048576u, http::InitialBodyCapacity(5000000));
    const struct {
        std::size_t need;
        int contentLength;
        std::size_t capacity;
    } cases[] = {
        {10241, -1, 20481},             // unknown length: need + 10240
        {6000, 5000, 16240},            // more than announced: need + 10240
        {1048577, 5000000, 2097153},    // far from the end: need + 1 MiB
        {3000000, 3500000, 3500000},    // the rest fits in 1 MiB: exactly the length
        {3951424, 5000000, 5000000},    // exactly 1 MiB to go: the length
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.capacity, http::GrownBodyCapacity(c.need, c.contentLength)) << c.need << " " << c.contentLength;
}

}  // namespace
