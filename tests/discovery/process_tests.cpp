// The choice of the browser process, against the simulated client's processes.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/globals.h"
#include "discovery/wechat_process.h"
#include "fixture_processes.h"
#include "test_window.h"

namespace {

bool Contains(const std::vector<DWORD>& ids, DWORD id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); }

class ProcessChoice : public ::testing::Test {
protected:
    void SetUp() override { _wechatPid = 0; }
    void TearDown() override { _wechatPid = 0; }

    TestWindow window;
    FixtureProcesses fixtures;
};

TEST_F(ProcessChoice, ChoosesTheBrowserOfWeChatAndReportsIt) {
    const Started client = fixtures.StartWeChat(1);
    ASSERT_NE(client.pid, 0u);
    const DWORD browser = fixtures.BrowserPid(client, 0);

    EXPECT_EQ(ParentProcessId(browser), client.pid);
    EXPECT_EQ(FindProcessId("WeChat.exe"), client.pid);
    EXPECT_EQ(FindProcessIds("WechatBrowser.exe", true), std::vector<DWORD>{browser});

    EXPECT_EQ(FindWeChat(), browser);
    EXPECT_EQ(_wechatPid, browser);
    EXPECT_EQ(window.StatusMessage(), "视频号PID[" + std::to_string(browser) + "]获取成功");
}

TEST_F(ProcessChoice, MatchesNamesInOtherLetterCases) {
    // Copies named in other cases: the process list shows the file's own name.
    const std::wstring client = fixtures.Folder() + L"\\WECHAT.EXE";
    const std::wstring browserExe = fixtures.Folder() + L"\\wechatbrowser.exe";
    ASSERT_TRUE(CopyFileW((FixtureProcesses::BinFolder() + L"WeChat.exe").c_str(), client.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((FixtureProcesses::BinFolder() + L"WechatBrowser.exe").c_str(), browserExe.c_str(), FALSE));
    const Started started = fixtures.StartWeChat(1, client, browserExe);
    ASSERT_NE(started.pid, 0u);
    const DWORD browser = fixtures.BrowserPid(started, 0);

    EXPECT_TRUE(Contains(FindProcessIds("WechatBrowser.exe", false), browser));
    EXPECT_FALSE(Contains(FindProcessIds("WechatBrowser.exe", true), browser));
    EXPECT_EQ(FindProcessId("WeChat.exe"), started.pid);
    EXPECT_EQ(FindWeChat(), browser);
}

TEST_F(ProcessChoice, OnlyTheFirstWeChatCounts) {
    const Started first = fixtures.StartWeChat(0);
    const Started second = fixtures.StartWeChat(1);
    ASSERT_NE(first.pid, 0u);
    ASSERT_NE(second.pid, 0u);
    ASSERT_EQ(FindProcessId("WeChat.exe"), first.pid);

    // The only browser belongs to the second client: nothing is chosen.
    EXPECT_EQ(FindWeChat(), 0u);
    EXPECT_EQ(_wechatPid, 0u);
}

TEST_F(ProcessChoice, TheFirstOfSeveralBrowsersIsChosen) {
    const Started client = fixtures.StartWeChat(3);
    ASSERT_NE(client.pid, 0u);
    const std::vector<DWORD> browsers = FindProcessIds("WechatBrowser.exe", false);
    ASSERT_EQ(browsers.size(), 3u);
    for (const DWORD browser : browsers) EXPECT_EQ(ParentProcessId(browser), client.pid);

    EXPECT_EQ(FindWeChat(), browsers.front());
}

TEST_F(ProcessChoice, ABrowserWithoutAWeChatParentIsNotChosen) {
    const Started browser = fixtures.StartBrowser();
    ASSERT_NE(browser.pid, 0u);
    _wechatPid = 4242;

    EXPECT_EQ(FindWeChat(), 0u);
    EXPECT_EQ(_wechatPid, 4242u);  // kept
    EXPECT_NE(window.StatusMessage(), "初始化失败：视频号PID获取失败，请先登录微信PC端，然后重启本软件");
}

TEST_F(ProcessChoice, AnEndedOrUnknownProcessHasNoParentAndNoName) {
    const Started browser = fixtures.StartBrowser();
    ASSERT_NE(browser.pid, 0u);
    EXPECT_EQ(ParentProcessId(browser.pid), GetCurrentProcessId());
    fixtures.End(browser.pid);

    EXPECT_EQ(ParentProcessId(browser.pid), 0u);
    EXPECT_TRUE(FindProcessIds("WechatBrowser.exe", false).empty());
    EXPECT_EQ(FindProcessId("WechatBrowser.exe"), 0u);
    EXPECT_EQ(FindProcessId("no such program.exe"), 0u);
}

}  // namespace
