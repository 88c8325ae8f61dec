// Live streams in the simulated browser's memory become "不支持下载" rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "app/globals.h"
#include "app/table.h"
#include "discovery/live_streams.h"
#include "fixture_processes.h"
#include "test_window.h"

namespace {

class LiveStreams : public ::testing::Test {
protected:
    void SetUp() override {
        browser = fixtures.StartBrowser();
        ASSERT_NE(browser.pid, 0u);
        _wechatPid = browser.pid;
    }
    void TearDown() override { _wechatPid = 0; }

    // Places the link on its own page and returns its address.
    std::uintptr_t Place(const std::string& path) {
        const std::uintptr_t address = fixtures.Command(browser.control, "region 4K 1 " + LiveLinkPrefix() + path);
        EXPECT_NE(address, 0u) << path;
        return address;
    }
    // The rows as (mediaUrl, status) after checking ID and Type.
    std::vector<std::string> ListedLinks() {
        std::vector<std::string> links;
        for (int i = 0; i < TableRowCount(); ++i) {
            EXPECT_EQ(TableCellText(i, ColumnId), std::to_string(i));
            EXPECT_EQ(TableCellText(i, ColumnType), "直播");
            EXPECT_EQ(TableCellText(i, ColumnStatus), "不支持下载");
            links.push_back(TableCellText(i, ColumnMediaUrl));
        }
        return links;
    }

    TestWindow window;
    FixtureProcesses fixtures;
    Started browser;
};

TEST_F(LiveStreams, OneRowPerStreamWithTheLinkCutBeforeCombuf) {
    std::vector<std::pair<std::uintptr_t, std::string>> sameStream = {
        {Place("live/L1.flv?token=a&combuf=one"), "live/L1.flv?token=a"},
        {Place("live/L1.flv?token=b&combuf=two"), "live/L1.flv?token=b"},
    };
    std::sort(sameStream.begin(), sameStream.end());
    Place("live/L2.flv?token=c");  // no "&combuf=": no row
    fixtures.Command(browser.control, "heap " + LiveLinkPrefix() + "live/L3.flv?x=1&combuf=three");

    ScanLiveStreams();
    const std::vector<std::string> expected = {LiveLinkPrefix() + sameStream[0].second,
                                               LiveLinkPrefix() + "live/L3.flv?x=1"};
    std::vector<std::string> listed = ListedLinks();
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(_liveKeys->Count("/" + std::string(QUILLMERE_LIVE_HOST) + "/live/L1"), 1u);
    EXPECT_EQ(window.StatusMessage(), "");

    ScanLiveStreams();  // listed streams stay listed once
    EXPECT_EQ(ListedLinks().size(), 2u);
}

TEST_F(LiveStreams, StreamsWithoutFlvShareTheEmptyKey) {
    std::vector<std::pair<std::uintptr_t, std::string>> links = {
        {Place("live/M1.m3u8?a=1&combuf=x"), "live/M1.m3u8?a=1"},
        {Place("live/M2.m3u8?b=2&combuf=y"), "live/M2.m3u8?b=2"},
    };
    std::sort(links.begin(), links.end());

    ScanLiveStreams();
    EXPECT_EQ(ListedLinks(), std::vector<std::string>{LiveLinkPrefix() + links[0].second});
    EXPECT_EQ(_liveKeys->Count(""), 1u);
}

}  // namespace
