// The whole road of a video, driven from outside as a user would: the real
// Quillmere.exe in a fresh program folder with Chinese characters in its path,
// the simulated WeChat "playing" videos over time, the local HTTPS CDN serving
// them, and our own engine deployed from the program's carried archive.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "test_folders.h"
#include "whole_road.h"

using namespace road;

TEST(WholeRoad, ThreeVideosALiveStreamA404AndARetriedFailure) {
    const TestFolder root("e2e");
    const std::wstring programFolder = root.Wide() + L"\\视频号 下载";
    Road road;
    ASSERT_TRUE(road.Start(root.Wide(), programFolder));
    CdnServer& cdn = road.Cdn();
    SimulatedWeChat& wechat = road.WeChat();
    const HWND table = road.Table();
    const std::vector<std::pair<std::string, std::string>> videos = {
        {"road-one", RandomBytes(2 * 1024 * 1024 + 17, 1)},
        {"road-two", RandomBytes(7 * 1024 * 1024 + 3, 2)},
        {"road-three", RandomBytes(23 * 1024 * 1024 + 101, 3)},
    };
    for (const auto& [key, bytes] : videos) ASSERT_TRUE(cdn.Put(key, bytes));

    // Played one after another, as a user would, with a 404 and a live stream between.
    ASSERT_TRUE(wechat.Command("heap " + VideoLink("road-one")));
    ASSERT_TRUE(remote::WaitFor([&] { return RowOf(table, "road-one") >= 0; }, 30000));
    // By the first tick the engine is deployed beside the program's folder, not inside it.
    EXPECT_NE(GetFileAttributesW((programFolder + L"xldld\\XLDld\\MiniThunderPlatform.exe").c_str()), INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(wechat.Command("heap " + VideoLink("road-missing")));
    ASSERT_TRUE(wechat.Command("region 64K 3 " + VideoLink("road-two")));
    const std::string live = LiveLink("road");
    ASSERT_TRUE(wechat.Command("heap " + live + "&combuf=abc"));
    ASSERT_TRUE(wechat.Command("heap " + VideoLink("road-three")));

    const std::filesystem::path videoFolder = road.VideoFolder();
    auto allDone = [&] {
        for (const auto& video : videos) {
            const int row = RowOf(table, video.first);
            if (row < 0 || remote::CellText(table, row, 3) != L"100%") return false;
        }
        return true;
    };
    ASSERT_TRUE(remote::WaitFor(allDone, 180000));

    for (const auto& [key, bytes] : videos) {
        const int row = RowOf(table, key);
        EXPECT_EQ(remote::CellText(table, row, 0), std::to_wstring(row));
        EXPECT_EQ(remote::CellText(table, row, 1), L"视频");
        const std::vector<std::filesystem::path> files = FilesOfRow(videoFolder, row);
        ASSERT_EQ(files.size(), 1u) << key;
        EXPECT_TRUE(ReadWholeFile(files[0]) == bytes) << key << " is not byte-identical";
    }
    EXPECT_EQ(RowOf(table, "road-missing"), -1) << "a link answering 404 is never listed";
    int liveRows = 0;
    for (int row = 0; row < remote::RowCount(table); ++row) {
        if (remote::CellText(table, row, 1) != L"直播") continue;
        ++liveRows;
        EXPECT_EQ(remote::CellText(table, row, 2), Widen(live));
        EXPECT_EQ(remote::CellText(table, row, 3), L"不支持下载");
    }
    EXPECT_EQ(liveRows, 1);

    // A download that the CDN breaks part-way fails in its row; once the CDN
    // serves again, a later pass retries it under a new name and completes it.
    // The engine runs with a 3-second stall time-out here, so it gives up in
    // seconds once the CDN sends next to nothing (an attempt that brings under
    // 64 KiB counts as no progress).
    const std::string brokenBytes = RandomBytes(6 * 1024 * 1024 + 5, 4);
    ASSERT_TRUE(cdn.Put("road-broken", brokenBytes));
    ASSERT_TRUE(cdn.Fault("road-broken", "stall_after=1048576"));
    ASSERT_TRUE(wechat.Command("heap " + VideoLink("road-broken")));
    int brokenRow = -1;
    ASSERT_TRUE(remote::WaitFor([&] { return (brokenRow = RowOf(table, "road-broken")) >= 0; }, 15000));
    ASSERT_TRUE(remote::WaitFor([&] {
        const std::wstring status = remote::CellText(table, brokenRow, 3);
        return status.size() > 1 && status.back() == L'%' && status != L"0%";
    }, 30000)) << "the download starts";
    ASSERT_TRUE(cdn.ClearFaults());
    ASSERT_TRUE(cdn.Fault("road-broken", "stall_after=1"));
    ASSERT_TRUE(remote::WaitFor([&] { return remote::CellText(table, brokenRow, 3) == L"下载失败"; }, 120000));
    ASSERT_TRUE(cdn.ClearFaults());
    ASSERT_TRUE(remote::WaitFor([&] { return remote::CellText(table, brokenRow, 3) == L"100%"; }, 90000));
    const std::vector<std::filesystem::path> brokenFiles = FilesOfRow(videoFolder, brokenRow);
    ASSERT_EQ(brokenFiles.size(), 1u) << "the failed attempt leaves nothing under a final name";
    EXPECT_TRUE(ReadWholeFile(brokenFiles[0]) == brokenBytes);

    EXPECT_TRUE(road.Close());
    EXPECT_TRUE(remote::WaitFor([] { return CountProcesses(L"MiniThunderPlatform.exe") == 0; }, 10000))
        << "closing the window leaves no engine process behind";
}
