// Whole scan ticks: the simulated browser holds the links, the real HTTP
// client validates them against the local CDN on the build's video host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "app/globals.h"
#include "app/program_folder.h"
#include "app/table.h"
#include "cdn_fixture.h"
#include "discovery/scan_cycle.h"
#include "dispatcher_double.h"
#include "fixture_processes.h"
#include "test_window.h"

namespace {

int VideoHostPort() {
    const std::string host = QUILLMERE_VIDEO_HOST;
    return std::atoi(host.substr(host.rfind(':') + 1).c_str());
}

std::string LiveLink(const std::string& path) { return std::string("https://") + QUILLMERE_LIVE_HOST + "/" + path; }

std::string VideoLink(const std::string& key, const std::string& rest = "token=t&taskid=0") {
    return VideoLinkPrefix() + "?encfilekey=" + key + "&" + rest;
}

struct Row {
    std::string id, type, url, status;
    bool operator==(const Row& other) const {
        return id == other.id && type == other.type && url == other.url && status == other.status;
    }
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
    return out << "{" << row.id << ", " << row.type << ", " << row.url << ", " << row.status << "}";
}

std::vector<Row> Rows() {
    std::vector<Row> rows;
    for (int i = 0; i < TableRowCount(); ++i) {
        rows.push_back({TableCellText(i, ColumnId), TableCellText(i, ColumnType), TableCellText(i, ColumnMediaUrl),
                        TableCellText(i, ColumnStatus)});
    }
    return rows;
}

class ScanCycleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CdnOptions options;
        options.port = VideoHostPort();
        options.controlPort = 18610;
        cdn = new CdnServer(options);
    }
    static void TearDownTestSuite() {
        delete cdn;
        cdn = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(cdn->Ready());
        cdn->ClearFaults();
        browser = fixtures.StartBrowser();
        ASSERT_NE(browser.pid, 0u);
        _wechatPid = browser.pid;
        requestsBefore = cdn->LogCount();
        ClearDispatcherCalls();
    }
    void TearDown() override { _wechatPid = 0; }

    std::uintptr_t Place(const std::string& command) {
        const std::uintptr_t address = fixtures.Command(browser.control, command);
        EXPECT_NE(address, 0u) << command;
        return address;
    }
    // Validation requests that reached the CDN for a key since the test began.
    int RequestsFor(const std::string& key) {
        int count = 0;
        for (const CdnLogEntry& entry : cdn->Log(requestsBefore)) {
            count += entry.path.find("encfilekey=" + key + "&") != std::string::npos ? 1 : 0;
        }
        return count;
    }

    static CdnServer* cdn;
    TestWindow window;
    FixtureProcesses fixtures;
    Started browser;
    int requestsBefore = 0;
};

CdnServer* ScanCycleTest::cdn = nullptr;

TEST_F(ScanCycleTest, ListsAValidLinkOnceThoughItLiesAtTenAddresses) {
    ASSERT_TRUE(cdn->Put("S1", "video"));
    const std::string link = VideoLink("S1");
    Place("region 64K 10 " + link);

    ScanCycle();
    EXPECT_EQ(Rows(), (std::vector<Row>{{"0", "视频", link, "未下载"}}));
    EXPECT_EQ(window.StatusMessage(), "检测中：1个视频号视频");
    EXPECT_EQ(RequestsFor("S1"), 1);
    EXPECT_EQ(_seenUrls->Count(link), 1u);
    EXPECT_EQ(_acceptedKeys->Count("S1"), 1u);

    ScanCycle();  // seen before: neither requested nor listed again
    EXPECT_EQ(Rows().size(), 1u);
    EXPECT_EQ(RequestsFor("S1"), 1);
}

TEST_F(ScanCycleTest, LinksNotEndingInTaskidZeroAreRecordedButNeverChecked) {
    ASSERT_TRUE(cdn->Put("S2", "video"));
    const std::string other = VideoLink("S2", "taskid=1");
    const std::string followed = VideoLink("S2", "taskid=0&x=1");
    Place("heap " + other);
    Place("heap " + followed);

    ScanCycle();
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(RequestsFor("S2"), 0);
    EXPECT_EQ(_seenUrls->Count(other), 1u);
    EXPECT_EQ(_seenUrls->Count(followed), 1u);
    EXPECT_EQ(window.StatusMessage(), "");
}

TEST_F(ScanCycleTest, OfTwoLinksWithOneKeyOnlyTheFirstThatAnswers200IsListed) {
    ASSERT_TRUE(cdn->Put("S3", "video"));
    ASSERT_TRUE(cdn->Fault("S3", "fail_first=1&fail_status=404"));
    std::vector<std::pair<std::uintptr_t, std::string>> links;
    for (const char* token : {"a", "b", "c"}) {
        const std::string link = VideoLink("S3", std::string("token=") + token + "&taskid=0");
        links.emplace_back(Place("region 4K 1 " + link), link);
    }
    std::sort(links.begin(), links.end());  // examined in ascending address order

    ScanCycle();
    // The first answers 404, the second 200; the third has an accepted key.
    EXPECT_EQ(Rows(), (std::vector<Row>{{"0", "视频", links[1].second, "未下载"}}));
    EXPECT_EQ(RequestsFor("S3"), 2);
    for (const auto& link : links) EXPECT_EQ(_seenUrls->Count(link.second), 1u);
}

TEST_F(ScanCycleTest, ALinkThatFailsIsNotRetriedButItsKeyStaysOpen) {
    const std::string refused = VideoLink("S4");
    Place("heap " + refused);
    ScanCycle();
    ScanCycle();
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(RequestsFor("S4"), 1);

    // Another link of the same video is still tried, since only accepted keys count.
    ASSERT_TRUE(cdn->Put("S4", "video"));
    const std::string later = VideoLink("S4", "token=new&taskid=0");
    Place("heap " + later);
    ScanCycle();
    EXPECT_EQ(Rows(), (std::vector<Row>{{"0", "视频", later, "未下载"}}));
    EXPECT_EQ(RequestsFor("S4"), 2);
}

TEST_F(ScanCycleTest, LinksWhoseFirstParameterHasNoValueShareTheEmptyKey) {
    ASSERT_TRUE(cdn->Fault("*", "status=200"));
    struct Placed {
        std::uintptr_t address;
        std::string link, name;
        bool operator<(const Placed& other) const { return address < other.address; }
    };
    std::vector<Placed> links;
    for (const char* name : {"S5a", "S5b"}) {
        const std::string link = VideoLinkPrefix() + "?" + name + "&encfilekey=" + name + "&taskid=0";
        links.push_back({Place("region 4K 1 " + link), link, name});
    }
    std::sort(links.begin(), links.end());

    ScanCycle();
    EXPECT_EQ(Rows(), (std::vector<Row>{{"0", "视频", links[0].link, "未下载"}}));
    EXPECT_EQ(RequestsFor(links[0].name), 1);
    EXPECT_EQ(RequestsFor(links[1].name), 0);
    EXPECT_EQ(_acceptedKeys->Count(""), 1u);
}

TEST_F(ScanCycleTest, ATickWithoutAddressesLeavesTheDispatcherAlone) {
    AppendTableRow();
    SetTableCell(0, ColumnStatus, "下载失败");

    ScanCycle();
    EXPECT_EQ(window.StatusMessage(), "未检测到视频号视频，尝试播放新的视频号视频后重试！");
    EXPECT_EQ(DispatcherCalls(), "");

    // Any address found, even of a link that is not listed, restarts it: once
    // per tick, stopped before it is started.
    Place("heap " + VideoLink("S6", "taskid=1"));
    ScanCycle();
    EXPECT_EQ(DispatcherCalls(), "ST");
    ScanCycle();
    EXPECT_EQ(DispatcherCalls(), "STST");
}

TEST_F(ScanCycleTest, OnlyWaitingRowsRestartTheDispatcher) {
    struct Case {
        std::vector<std::pair<const char*, const char*>> rows;  // (type, status)
        const char* calls;
    };
    const Case cases[] = {
        {{{"视频", "未下载"}}, "ST"},
        {{{"视频", "下载失败"}}, "ST"},
        {{{"直播", "下载失败"}}, "ST"},  // rows of either type count
        {{{"视频", "100%"}, {"视频", "已下载"}, {"视频", "等待下载"}, {"直播", "不支持下载"}, {"视频", "42%"}}, ""},
        {{{"视频", "100%"}, {"视频", "未下载"}, {"视频", "下载失败"}}, "ST"},  // once, however many wait
        {{}, ""},
    };
    Place("heap " + VideoLink("S7", "taskid=1"));
    for (const Case& c : cases) {
        SendMessageW(_table, LVM_DELETEALLITEMS, 0, 0);
        for (const auto& row : c.rows) {
            const int index = AppendTableRow();
            SetTableCell(index, ColumnType, row.first);
            SetTableCell(index, ColumnStatus, row.second);
        }
        ClearDispatcherCalls();
        ScanCycle();
        EXPECT_EQ(DispatcherCalls(), c.calls) << c.rows.size() << " rows";
    }
}

TEST_F(ScanCycleTest, TheCountMessageLeavesLiveStreamsOut) {
    ASSERT_TRUE(cdn->Put("S8", "video"));
    Place("heap " + VideoLink("S8"));
    Place("heap " + LiveLink("live/s8.flv?token=1&combuf=x"));

    ScanCycle();
    ASSERT_EQ(Rows().size(), 2u);
    EXPECT_EQ(Rows()[0].type, "直播");  // live streams come first in a tick
    EXPECT_EQ(window.StatusMessage(), "检测中：1个视频号视频");
}

TEST_F(ScanCycleTest, ATickDueWhileOneRunsIsSkipped) {
    ASSERT_TRUE(cdn->Put("S10", "video"));
    Place("heap " + VideoLink("S10"));
    int nested = 0;
    TestWindow::OnAppMessage([&] {
        ++nested;
        ScanCycle();
    });
    // Delivered by the first search's message processing, inside the tick.
    PostMessageW(window.Handle(), WM_APP, 0, 0);

    ScanCycle();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(Rows().size(), 1u);
    EXPECT_EQ(RequestsFor("S10"), 1);
    EXPECT_EQ(DispatcherCalls(), "ST");  // one restart: the nested tick did nothing
}

// A file named after the key in the video folder, for one test.
class VideoFile {
public:
    explicit VideoFile(const std::string& name) {
        folder = FixtureProcesses::BinFolder() + L"video";
        CreateDirectoryW(folder.c_str(), nullptr);
        path = folder + L"\\" + std::wstring(name.begin(), name.end());
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    ~VideoFile() { DeleteFileW(path.c_str()); }

private:
    std::wstring folder, path;
};

TEST_F(ScanCycleTest, AVideoWhoseFileExistsIsListedAsDownloaded) {
    const VideoFile file("S9.mp4");
    ASSERT_TRUE(cdn->Put("S9", "video"));
    const std::string link = VideoLink("S9");
    Place("heap " + link);

    ScanCycle();
    EXPECT_EQ(Rows(), (std::vector<Row>{{"0", "视频", link, "已下载"}}));
    EXPECT_EQ(DispatcherCalls(), "");  // nothing waits

    InsertRow(link, "视频", "未下载");
    EXPECT_EQ(window.StatusMessage(), "序号：1已存在，跳过下载");
    EXPECT_EQ(Rows()[1].status, "已下载");
}

TEST(InsertRow, ChecksForAFileOnlyForVideosWithAPlainKey) {
    TestWindow window;
    const VideoFile file("R1.mp4");
    const VideoFile outside("..\\R2.mp4");  // bin\R2.mp4, beside the video folder
    InsertRow(VideoLink("R1"), "直播", "不支持下载");
    InsertRow(VideoLink("..\\R2"), "视频", "未下载");
    InsertRow(VideoLink("R3"), "视频", "未下载");

    EXPECT_EQ(Rows(), (std::vector<Row>{{"0", "直播", VideoLink("R1"), "不支持下载"},
                                        {"1", "视频", VideoLink("..\\R2"), "未下载"},
                                        {"2", "视频", VideoLink("R3"), "未下载"}}));
    EXPECT_EQ(window.StatusMessage(), "");
}

}  // namespace
