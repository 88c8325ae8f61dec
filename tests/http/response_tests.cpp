// The response beyond its status: body, headers, status text and the
// certificate check.
#include "http/http_client.h"
#include "local_cdn.h"

#include <gtest/gtest.h>

namespace {

class ResponseTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(LocalCdn().Ready()); }
    void TearDown() override { LocalCdn().ClearFaults(); }
};

// What WinHTTP reported available, the room offered to each WinHttpReadData
// call, and how many calls touched the network.
std::vector<DWORD> availableCounts;
std::vector<DWORD> readRooms;
int availabilityQueries = 0;
decltype(&::WinHttpReadData) realReadData = nullptr;
decltype(&::WinHttpQueryDataAvailable) realQueryDataAvailable = nullptr;
BOOL WINAPI RecordingReadData(HINTERNET request, LPVOID buffer, DWORD room, LPDWORD read) {
    readRooms.push_back(room);
    return realReadData(request, buffer, room, read);
}
BOOL WINAPI CountingQueryDataAvailable(HINTERNET request, LPDWORD available) {
    ++availabilityQueries;
    BOOL ok = realQueryDataAvailable(request, available);
    if (ok) availableCounts.push_back(*available);
    return ok;
}

class NetworkReads {
public:
    NetworkReads() {
        readRooms.clear();
        availableCounts.clear();
        availabilityQueries = 0;
        realReadData = WinHttp().readData;
        realQueryDataAvailable = WinHttp().queryDataAvailable;
        WinHttp().readData = RecordingReadData;
        WinHttp().queryDataAvailable = CountingQueryDataAvailable;
    }

private:
    CallTableGuard guard_;
};

TEST_F(ResponseTest, BodiesOfEveryFramingArriveWhole) {
    const struct {
        const char* name;
        long long size;
        const char* fault;
    } cases[] = {
        {"small", 1000, ""},
        {"exact", 10240, ""},
        {"big", 3 * 1048576 + 17, ""},            // known length beyond the first 1 MiB
        {"unframed", 50000, "length=none"},        // no Content-Length, ends by close
        {"chunked", 70000, "length=chunked"},
        {"short", 100, "length=50"},               // fewer bytes announced than sent
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(LocalCdn().PutPattern(c.name, c.size));
        if (*c.fault) {
            ASSERT_TRUE(LocalCdn().Fault(c.name, c.fault));
        }
        HttpClient client;
        ASSERT_TRUE(client.OpenRequest("GET", CdnUrl(std::string("/files/") + c.name)));
        ASSERT_TRUE(client.Send());
        ASSERT_EQ(200, client.GetStatusCode()) << c.name;
        std::string expected = CdnServer::PatternBytes(0, static_cast<std::size_t>(c.size));
        if (std::string(c.fault) == "length=50") expected.resize(50);  // WinHTTP stops at the announced length
        EXPECT_EQ(expected, client.ReadBodyText()) << c.name;
    }
}

TEST_F(ResponseTest, BufferWithoutContentLengthStartsAt10KiBAndGrowsByNeed) {
    ASSERT_TRUE(LocalCdn().PutPattern("unknown", 40000));
    ASSERT_TRUE(LocalCdn().Fault("unknown", "length=none"));
    HttpClient client;
    ASSERT_TRUE(client.OpenRequest("GET", CdnUrl("/files/unknown")));
    ASSERT_TRUE(client.Send());
    EXPECT_EQ("", client.GetHeader("Content-Length"));
    NetworkReads reads;
    EXPECT_EQ(40000u, client.ReadBody().size());
    ASSERT_FALSE(readRooms.empty());
    ASSERT_GE(availableCounts.size(), readRooms.size());
    // 10240 bytes first; when more is available, what is needed plus 10240.
    DWORD first = availableCounts[0];
    EXPECT_EQ(first <= 10240 ? 10240u : first + 10240u, readRooms[0]);
    for (std::size_t i = 0; i < readRooms.size(); ++i) EXPECT_GE(readRooms[i], availableCounts[i]) << i;
}

TEST_F(ResponseTest, ZeroLengthBodyIsNotRead) {
    ASSERT_TRUE(LocalCdn().Put("empty", ""));
    HttpClient client;
    ASSERT_TRUE(client.OpenRequest("GET", CdnUrl("/files/empty")));
    ASSERT_TRUE(client.Send());
    ASSERT_EQ("0", client.GetHeader("Content-Length"));
    NetworkReads reads;
    EXPECT_TRUE(client.ReadBody().empty());
    EXPECT_EQ(0, availabilityQueries);
    EXPECT_TRUE(readRooms.empty());
}

TEST_F(ResponseTest, SecondReadComesFromTheBuffer) {
    ASSERT_TRUE(LocalCdn().PutPattern("twice", 30000));
    HttpClient client;
    ASSERT_TRUE(client.OpenRequest("GET", CdnUrl("/files/twice")));
    ASSERT_TRUE(client.Send());
    NetworkReads reads;
    Bytes first = client.ReadBody();
    int queries = availabilityQueries;
    std::size_t calls = readRooms.size();
    Bytes second = client.ReadBody();
    EXPECT_EQ(30000u, first.size());
    EXPECT_EQ(first, second);
    EXPECT_EQ(queries, availabilityQueries);
    EXPECT_EQ(calls, readRooms.size());
    // The next request's body replaces it.
    ASSERT_TRUE(LocalCdn().Put("other", "fresh"));
    ASSERT_TRUE(client.OpenRequest("GET", CdnUrl("/files/other")));
    EXPECT_TRUE(client.ReadBody().empty());  // not sent yet
    ASSERT_TRUE(client.Send());
    EXPECT_EQ("fresh", client.ReadBodyText());
}

TEST_F(ResponseTest, ConnectionBrokenMidBodyKeepsWhatArrived) {
    ASSERT_TRUE(LocalCdn().PutPattern("broken", 200000));
    ASSERT_TRUE(LocalCdn().Fault("broken", "reset_after=65536"));
    HttpClient client;
    ASSERT_TRUE(client.OpenRequest("GET", CdnUrl("/files/broken")));
    ASSERT_TRUE(client.Send());
    std::string body = client.ReadBodyText();
    EXPECT_LT(body.size(), 200000u);
    EXPECT_EQ(CdnServer::PatternBytes(0, body.size()), body);
}

TEST_F(ResponseTest, HeadersStatusTextAndSingleHeaders) {
    ASSERT_TRUE(LocalCdn().Route("/teapot", 404, {"X-First: one", "X-Spaced:    padded", "X-First: two"}, "nope"));
    HttpClient client;
    ASSERT_TRUE(client.OpenRequest("GET", CdnUrl("/teapot")));
    ASSERT_TRUE(client.Send());
    EXPECT_EQ(404, client.GetStatusCode());
    EXPECT_EQ("Not Found", client.GetStatusText());
    std::string headers = client.GetHeaders();
    EXPECT_EQ(0u, headers.find("HTTP/1.1 404 Not Found\r\n"));
    EXPECT_EQ("\r\n\r\n", headers.substr(headers.size() - 4));
    // The server's first header line is Content-Type.
    EXPECT_EQ("Content-Type: application/octet-stream", headers.substr(24, headers.find("\r\n", 24) - 24));
    EXPECT_EQ("application/octet-stream", client.GetHeader("content-type"));
    EXPECT_EQ("one", client.GetHeader("X-First"));
    EXPECT_EQ("padded", client.GetHeader("X-Spaced"));
    EXPECT_EQ("", client.GetHeader("HTTP/1.1 404 Not Found"));
    EXPECT_EQ("", client.GetHeader("X-Missing"));
    EXPECT_EQ("nope", client.ReadBodyText());
}

TEST_F(ResponseTest, ChineseUtf8Body) {
    const std::string utf8 = u8"视频号：下载完成";
    ASSERT_TRUE(LocalCdn().Put("chinese", utf8));
    HttpClient client;
    ASSERT_TRUE(client.OpenRequest("GET", CdnUrl("/files/chinese")));
    ASSERT_TRUE(client.Send());
    EXPECT_EQ("视频号：下载完成", client.ReadBodyUtf8());  // this literal is GBK
    EXPECT_EQ(utf8, client.ReadBodyText());
    EXPECT_EQ("", Utf8ToText(Bytes()));
}

TEST_F(ResponseTest, GbkUrlIsConvertedWithCodePage936) {
    HttpClient client;
    LogWindow log(LocalCdn());
    ASSERT_TRUE(client.OpenRequest("GET", CdnUrl("/files/x?q=视频")));  // GBK bytes CA D3 C6 B5
    ASSERT_TRUE(client.Send());
    auto entries = log.Entries();
    ASSERT_EQ(1u, entries.size());
    // WinHTTP sends the UTF-16 of U+89C6 U+9891 as escaped UTF-8.
    EXPECT_EQ("/files/x?q=%E8%A7%86%E9%A2%91", entries[0].path);
}

// The test CA is trusted in the prefix, so a request without the ignore flags
// verifies the chain; a certificate that does not name 127.0.0.1 is refused
// unless the flags armed by ResetOptions are on the request.
TEST(CertificateTest, VerificationWorksWithoutTheIgnoreFlags) {
    ASSERT_TRUE(LocalCdn().Ready());
    ASSERT_TRUE(LocalCdn().Put("clip", "0123456789"));
    CdnServer& misnamed = MisnamedCdn();  // a trusted chain, but not for 127.0.0.1
    ASSERT_TRUE(misnamed.Ready());
    ASSERT_TRUE(misnamed.Put("clip", "0123456789"));

    HttpClient client;
    // The first request after construction carries the ignore flags.
    ASSERT_TRUE(client.OpenRequest("GET", misnamed.Origin() + "/files/clip"));
    ASSERT_TRUE(client.Send());
    EXPECT_EQ(200, client.GetStatusCode());
    // Later requests verify: the right certificate passes, the misnamed one fails.
    ASSERT_TRUE(client.OpenRequest("GET", CdnUrl("/files/clip")));
    ASSERT_TRUE(client.Send());
    EXPECT_EQ(200, client.GetStatusCode());
    ASSERT_TRUE(client.OpenRequest("GET", misnamed.Origin() + "/files/clip"));
    EXPECT_FALSE(client.Send());
    EXPECT_EQ(0, client.GetStatusCode());
}

}  // namespace
