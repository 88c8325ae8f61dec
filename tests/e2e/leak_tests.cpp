// Long use leaks nothing: hundreds of scan ticks and dozens of downloads leave
// the program's handle count and private memory where they were after warming
// up, measured from outside the process.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "process_usage.h"
#include "test_folders.h"
#include "whole_road.h"

using namespace road;

namespace {

struct Usage {
    long handles = 0;
    SIZE_T privateBytes = 0;
};

// The smallest of a few readings a second apart: the figures breathe with
// worker threads starting and ending, a leak only grows.
Usage SettledUsage(ProgramUnderTest& program) {
    Usage least{LONG_MAX, static_cast<SIZE_T>(-1)};
    for (int reading = 0; reading < 5; ++reading) {
        least.handles = std::min(least.handles, usage::HandleCount(program.Pid()));
        least.privateBytes = std::min(least.privateBytes, usage::PrivateBytes(program.Process()));
        Sleep(1000);
    }
    return least;
}

// Drives scan ticks one by one: each round puts a link with a new key into the
// browser's memory, in place of the last one, and waits until the program has
// checked it at the CDN. A check happens only in a tick, so every round is at
// least one tick.
class TickCounter {
public:
    TickCounter(Road& road, std::string slotAddress) : road_(road), slot_(std::move(slotAddress)) {}

    bool Round() {
        char key[32];
        std::snprintf(key, sizeof key, "leak-tick-%05d", ++rounds_);
        if (!road_.WeChat().Command("write " + slot_ + " " + VideoLink(key))) return false;
        const std::string marker = std::string("encfilekey=") + key + "&";
        return remote::WaitFor([&] {
            for (const CdnLogEntry& entry : road_.Cdn().Log(logSeen_, 0)) {
                ++logSeen_;
                if (entry.path.find(marker) != std::string::npos) return true;
            }
            return false;
        }, 15000);
    }
    int Rounds() const { return rounds_; }

    // The first link's text, as long as every later one, for the slot's first copy.
    static std::string FirstLink() { return VideoLink("leak-tick-00000"); }

private:
    Road& road_;
    std::string slot_;
    int rounds_ = 0;
    int logSeen_ = 0;
};

}  // namespace

TEST(Leaks, HundredsOfScanTicksAndDozensOfDownloadsLeaveHandlesAndMemoryFlat) {
    const TestFolder root("leaks");
    Road road;
    ASSERT_TRUE(road.Start(root.Wide(), root.Wide() + L"\\视频号 长用", {L"QUILLMERE_SCAN_PERIOD_MS=100"}));
    // Some memory to search in every tick, and the slot the tick links go to.
    ASSERT_TRUE(road.WeChat().Command("region 16M 0"));
    std::string slot;
    ASSERT_TRUE(road.WeChat().Command("region 4K 1 " + TickCounter::FirstLink(), 0, &slot));
    TickCounter ticks(road, slot);

    int videosPlayed = 0;
    auto playVideo = [&] {
        const std::string key = "leak-video-" + std::to_string(videosPlayed);
        const unsigned seed = static_cast<unsigned>(100 + videosPlayed);
        ++videosPlayed;
        return road.Cdn().Put(key, RandomBytes(256 * 1024 + 4099 * seed, seed)) &&
               road.WeChat().Command("heap " + VideoLink(key));
    };
    auto allDownloaded = [&] {
        return remote::WaitFor([&] {
            int done = 0;
            for (int row = 0; row < remote::RowCount(road.Table()); ++row) done += road.Status(row) == L"100%";
            return done == videosPlayed;
        }, 120000);
    };
    // A settled pool: the workers above its initial five have reached their idle time-out.
    auto settle = [] { Sleep(12000); };

    // Warming up: the first downloads and ticks start the pool, the engine and the caches.
    for (int video = 0; video < 6; ++video) ASSERT_TRUE(playVideo());
    for (int round = 0; round < 40; ++round) ASSERT_TRUE(ticks.Round()) << "round " << ticks.Rounds();
    ASSERT_TRUE(allDownloaded());
    settle();
    const Usage warm = SettledUsage(road.Program());
    ASSERT_GT(warm.handles, 0) << "the handle table is readable";
    ASSERT_GT(warm.privateBytes, 0u) << "the private memory is readable";

    // Hundreds of ticks with a download started every tenth; some links answer
    // 404 and some are live streams, which are listed and never downloaded.
    for (int round = 0; round < 300; ++round) {
        ASSERT_TRUE(ticks.Round()) << "round " << ticks.Rounds();
        if (round % 10 == 0) {
            ASSERT_TRUE(playVideo());
        }
        if (round % 50 == 25) {
            ASSERT_TRUE(road.WeChat().Command("heap " + LiveLink("leak-" + std::to_string(round)) + "&combuf=x"));
        }
    }
    ASSERT_TRUE(allDownloaded());
    settle();
    const Usage after = SettledUsage(road.Program());

    std::printf("after %d ticks and %d downloads: handles %ld -> %ld, private memory %.1f MB -> %.1f MB\n",
                ticks.Rounds(), videosPlayed, warm.handles, after.handles, warm.privateBytes / 1048576.0,
                after.privateBytes / 1048576.0);
    EXPECT_EQ(remote::RowCount(road.Table()), videosPlayed + 6) << "every video and live stream listed once";
    // One handle kept per download would add 30, one per tick 300.
    EXPECT_LE(after.handles, warm.handles + 10);
    // One 4 MB search buffer kept per tick would add over a gigabyte; the
    // program's lists grow by a few hundred link texts, well under 1 MB.
    EXPECT_LE(after.privateBytes, warm.privateBytes + (8u << 20));
    for (int row = 0; row < remote::RowCount(road.Table()); ++row) {
        if (remote::CellText(road.Table(), row, 1) != L"视频") continue;
        EXPECT_EQ(FilesOfRow(road.VideoFolder(), row).size(), 1u) << "row " << row;
    }
    EXPECT_TRUE(road.Close());
}
