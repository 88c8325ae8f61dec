// Faults met on the whole road: a CDN that breaks its answers, WeChat ending
// while the program reads its memory, a video folder whose disk is full. Each
// must end in a clear failure in the row or on the status line, never in a
// crash, and never in a file passed off as complete.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "test_folders.h"
#include "whole_road.h"

using namespace road;

namespace {

// "<ID>下载失败，错误信息：" as the status line shows it for a row.
std::wstring FailureMessagePrefix(int row) { return std::to_wstring(row) + L"下载失败，错误信息："; }

// The text after the status line's time stamp ("dd-hh:mm:ss ").
std::wstring StatusMessage(const std::wstring& statusLine) {
    const std::size_t blank = statusLine.find(L' ');
    return blank == std::wstring::npos ? statusLine : statusLine.substr(blank + 1);
}

}  // namespace

// The link check passes (the CDN spares the first request), the download then
// meets the fault: the row fails with the engine's reason on the status line,
// no file takes a final name, and once the CDN answers well again a later pass
// downloads the video byte for byte.
TEST(Faults, BrokenAnswersFailTheirRowsAndAreRetriedOnceTheCdnRecovers) {
    const std::size_t size = 3 * 1024 * 1024 + 77;
    struct Case {
        const char* key;
        std::string fault;
        const wchar_t* reason;  // the engine's text on the status line
    };
    const std::vector<Case> cases = {
        // Wine's WinHTTP takes the half header for a broken response.
        {"fault-header-reset", "reset_in_header=1", L"无效的DOWN地址"},
        {"fault-long-length", "no_ranges=1&length=" + std::to_string(size + 65536), L"http下载中无ip可用"},
        {"fault-location-loop", "redirect_loop=1", L"无效的DOWN地址"},
    };
    const TestFolder root("faults");
    Road road;
    ASSERT_TRUE(road.Start(root.Wide(), root.Wide() + L"\\视频号 故障"));
    std::map<std::string, std::string> bytes;
    for (std::size_t index = 0; index < cases.size(); ++index) {
        const Case& c = cases[index];
        bytes[c.key] = RandomBytes(size, static_cast<unsigned>(10 + index));
        ASSERT_TRUE(road.Cdn().Put(c.key, bytes[c.key]));
        ASSERT_TRUE(road.Cdn().Fault(c.key, "spare_first=1&" + c.fault));
        ASSERT_TRUE(road.WeChat().Command("heap " + VideoLink(c.key)));
    }

    std::map<std::string, int> rowOf;
    ASSERT_TRUE(remote::WaitFor([&] {
        for (const Case& c : cases) rowOf[c.key] = RowOf(road.Table(), c.key);
        for (const Case& c : cases)
            if (rowOf[c.key] < 0) return false;
        return true;
    }, 30000)) << "every link passes its check";

    // Failed rows are taken again by the next pass, so each failure is caught as it shows.
    std::map<std::string, bool> rowFailed, messageShown, finalFileSeen;
    std::map<std::string, std::wstring> reasonShown;
    const bool allSeen = remote::WaitFor([&] {
        const std::wstring message = StatusMessage(road.StatusLine());
        bool all = true;
        for (const Case& c : cases) {
            const int row = rowOf[c.key];
            if (road.Status(row) == L"下载失败") rowFailed[c.key] = true;
            const std::wstring prefix = FailureMessagePrefix(row);
            if (message.rfind(prefix, 0) == 0) {
                messageShown[c.key] = true;
                reasonShown[c.key] = message.substr(prefix.size());
            }
            if (!FilesOfRow(road.VideoFolder(), row).empty()) finalFileSeen[c.key] = true;
            all = all && rowFailed[c.key] && messageShown[c.key];
        }
        return all;
    }, 120000);
    for (const Case& c : cases) {
        EXPECT_TRUE(rowFailed[c.key]) << c.key << ": its row never read 下载失败";
        EXPECT_TRUE(messageShown[c.key]) << c.key << ": no failure message on the status line";
        EXPECT_EQ(reasonShown[c.key], c.reason) << c.key;
        EXPECT_FALSE(finalFileSeen[c.key]) << c.key << ": a broken download took a final name";
    }
    ASSERT_TRUE(allSeen);
    EXPECT_TRUE(Responds(road.Window()));

    ASSERT_TRUE(road.Cdn().ClearFaults());
    ASSERT_TRUE(remote::WaitFor([&] {
        for (const Case& c : cases)
            if (road.Status(rowOf[c.key]) != L"100%") return false;
        return true;
    }, 120000)) << "the retries complete once the CDN answers well";
    for (const Case& c : cases) {
        const auto files = FilesOfRow(road.VideoFolder(), rowOf[c.key]);
        ASSERT_EQ(files.size(), 1u) << c.key;
        EXPECT_TRUE(ReadWholeFile(files[0]) == bytes[c.key]) << c.key << " is not byte-identical";
    }
    EXPECT_TRUE(road.Close());
}

// A link whose check meets a redirect loop is not listed, is not checked
// again, and does not keep the next video from being listed and downloaded.
TEST(Faults, ALinkWhoseCheckRedirectsForEverIsNotListed) {
    const TestFolder root("loop");
    Road road;
    ASSERT_TRUE(road.Start(root.Wide(), root.Wide() + L"\\视频号 循环"));
    const std::string good = RandomBytes(512 * 1024 + 3, 21);
    ASSERT_TRUE(road.Cdn().Put("loop-good", good));
    ASSERT_TRUE(road.Cdn().Put("loop-forever", "never reached"));
    ASSERT_TRUE(road.Cdn().Fault("loop-forever", "redirect_loop=1"));
    ASSERT_TRUE(road.WeChat().Command("heap " + VideoLink("loop-forever")));
    ASSERT_TRUE(road.WeChat().Command("heap " + VideoLink("loop-good")));

    int goodRow = -1;
    ASSERT_TRUE(remote::WaitFor([&] {
        goodRow = RowOf(road.Table(), "loop-good");
        return goodRow >= 0 && road.Status(goodRow) == L"100%";
    }, 60000));
    auto loopRequests = [&] {
        int count = 0;
        for (const CdnLogEntry& entry : road.Cdn().Log())
            count += entry.path.find("encfilekey=loop-forever&") != std::string::npos;
        return count;
    };
    const int requests = loopRequests();
    EXPECT_GE(requests, 2) << "the check followed the loop";
    Sleep(7000);  // two more scan ticks
    EXPECT_EQ(loopRequests(), requests) << "a link whose check failed is not checked again";
    EXPECT_EQ(RowOf(road.Table(), "loop-forever"), -1);
    EXPECT_EQ(remote::RowCount(road.Table()), 1);
    const auto files = FilesOfRow(road.VideoFolder(), goodRow);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(ReadWholeFile(files[0]) == good);
    EXPECT_TRUE(road.Close());
}

// The browser (and then WeChat) ends while the program searches its memory:
// searching its 1.1 GB takes about a second and ticks fall due every 100 ms,
// so they run back to back and the program is reading when the process goes. The program keeps running, says that it finds no video,
// and the video already listed still downloads.
TEST(Faults, WeChatEndingWhileATickReadsItsMemoryLeavesTheProgramWorking) {
    const TestFolder root("wechat-ends");
    Road road;
    ASSERT_TRUE(road.Start(root.Wide(), root.Wide() + L"\\视频号 退出", {L"QUILLMERE_SCAN_PERIOD_MS=100"}));
    const std::string video = RandomBytes(4 * 1024 * 1024 + 9, 31);
    ASSERT_TRUE(road.Cdn().Put("ends-video", video));
    ASSERT_TRUE(road.Cdn().Fault("ends-video", "rate=262144"));  // still downloading when WeChat goes
    for (int region = 0; region < 4; ++region) ASSERT_TRUE(road.WeChat().Command("region 256M 0"));
    ASSERT_TRUE(road.WeChat().Command("region 64M 1 " + VideoLink("ends-video")));
    int row = -1;
    ASSERT_TRUE(remote::WaitFor([&] { return (row = RowOf(road.Table(), "ends-video")) >= 0; }, 60000));

    Sleep(1500);  // inside the search of a later tick
    const DWORD browserPid = road.WeChat().BrowserPid();
    HANDLE browser = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, browserPid);
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(TerminateProcess(browser, 1));
    EXPECT_EQ(WaitForSingleObject(browser, 10000), WAIT_OBJECT_0);
    CloseHandle(browser);
    TerminateProcess(road.WeChat().Process(), 1);

    EXPECT_TRUE(remote::WaitFor([&] {
        return StatusMessage(road.StatusLine()) == L"未检测到视频号视频，尝试播放新的视频号视频后重试！";
    }, 30000)) << "status: " << testing::PrintToString(road.StatusLine().size());
    EXPECT_EQ(road.Program().WaitForExit(0), static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_TRUE(Responds(road.Window()));
    ASSERT_TRUE(remote::WaitFor([&] { return road.Status(row) == L"100%"; }, 60000));
    const auto files = FilesOfRow(road.VideoFolder(), row);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(ReadWholeFile(files[0]) == video);
    EXPECT_EQ(remote::RowCount(road.Table()), 1);
    EXPECT_TRUE(road.Close());
}

// The program folder lies on a small size-limited disk (a tmpfs that the test
// run mounts where it may). A video that fits is downloaded; one that does not
// fails with the engine's write error, takes no final name, and leaves the
// first video as it was.
TEST(Faults, AFullDiskFailsTheDownloadAndKeepsWhatIsThere) {
    const char* build = std::getenv("QUILLMERE_BUILD");
    ASSERT_NE(build, nullptr);
    std::wstring disk = L"Z:" + Widen(build) + L"/small-disk";
    for (wchar_t& c : disk) c = c == L'/' ? L'\\' : c;
    ULARGE_INTEGER available = {}, total = {};
    if (!GetDiskFreeSpaceExW((disk + L"\\").c_str(), &available, &total, nullptr) || total.QuadPart > 64ull << 20)
        GTEST_SKIP() << "no size-limited folder at " << testing::PrintToString(Widen(build)) << "/small-disk";
    const TestFolder work("disk-full");
    const std::wstring programFolder = disk + L"\\视频号 满盘 " + std::to_wstring(GetCurrentProcessId());
    Road road;
    ASSERT_TRUE(road.Start(work.Wide(), programFolder));
    const std::string fits = RandomBytes(1024 * 1024 + 5, 41);
    const std::string tooBig = RandomBytes(static_cast<std::size_t>(total.QuadPart) + (1 << 20), 42);
    ASSERT_TRUE(road.Cdn().Put("disk-fits", fits));
    ASSERT_TRUE(road.Cdn().Put("disk-too-big", tooBig));

    ASSERT_TRUE(road.WeChat().Command("heap " + VideoLink("disk-fits")));
    int fitsRow = -1;
    ASSERT_TRUE(remote::WaitFor([&] {
        fitsRow = RowOf(road.Table(), "disk-fits");
        return fitsRow >= 0 && road.Status(fitsRow) == L"100%";
    }, 60000));
    ASSERT_TRUE(road.WeChat().Command("heap " + VideoLink("disk-too-big")));
    int bigRow = -1;
    bool failed = false, messageShown = false;
    std::wstring reason;
    EXPECT_TRUE(remote::WaitFor([&] {
        if (bigRow < 0) bigRow = RowOf(road.Table(), "disk-too-big");
        if (bigRow < 0) return false;
        failed = failed || road.Status(bigRow) == L"下载失败";
        const std::wstring message = StatusMessage(road.StatusLine());
        if (message.rfind(FailureMessagePrefix(bigRow), 0) == 0) {
            messageShown = true;
            reason = message.substr(FailureMessagePrefix(bigRow).size());
        }
        return failed && messageShown;
    }, 120000));
    EXPECT_EQ(reason, L"写文件失败");
    EXPECT_TRUE(Responds(road.Window()));
    EXPECT_TRUE(FilesOfRow(road.VideoFolder(), bigRow).empty()) << "the cut-off download took a final name";
    const auto files = FilesOfRow(road.VideoFolder(), fitsRow);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(ReadWholeFile(files[0]) == fits) << "the video already there was damaged";
    EXPECT_TRUE(road.Close());
    TestFolder::RemoveTree(programFolder);
    TestFolder::RemoveTree(programFolder + L"xldld");
}
