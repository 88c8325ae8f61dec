// The thread pool seen from outside: parameter rules, refusals in the wrong
// state, the four stop modes, growth and idle exit, the run gate, job-done waits,
// a stress run from several posting threads, and handles after a stop.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "pool/thread_pool.h"
#include "process_usage.h"

namespace {

// Job routines are plain functions, so what they touch lives here.
std::atomic<int> ranCount{0};
std::atomic<int> blockedCount{0};
HANDLE releaseEvent = nullptr;  // manual-reset; set lets every blocking job end
std::mutex recordLock;
std::vector<std::pair<std::uint32_t, std::uint32_t>> records;
std::vector<std::atomic<unsigned char>>* hits = nullptr;

void CountJob(std::uint32_t, std::uint32_t) { ++ranCount; }
void BlockingJob(std::uint32_t, std::uint32_t) {
    ++blockedCount;
    WaitForSingleObject(releaseEvent, 10000);
}
void RecordJob(std::uint32_t first, std::uint32_t second) {
    std::lock_guard<std::mutex> hold(recordLock);
    records.emplace_back(first, second);
}
void HitJob(std::uint32_t first, std::uint32_t) { ++(*hits)[first]; }

template <typename Condition>
bool WaitUntil(Condition condition, DWORD limitMs = 5000) {
    const DWORD begin = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - begin > limitMs) return false;
        Sleep(2);
    }
    return true;
}

// This process's open handles, read from the system's handle table.
long HandleCount() { return usage::HandleCount(GetCurrentProcessId()); }

class PoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        ranCount = 0;
        blockedCount = 0;
        records.clear();
        releaseEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    void TearDown() override {
        SetEvent(releaseEvent);
        pool.Destroy(0, 5000);
        CloseHandle(releaseEvent);
    }
    // Occupies the pool's only worker so that later jobs stay queued.
    void BlockTheWorkers(int count) {
        for (int job = 0; job < count; ++job) ASSERT_TRUE(pool.Post(BlockingJob));
        ASSERT_TRUE(WaitUntil([&] { return blockedCount == count; }));
    }

    ThreadPool pool;
};

TEST_F(PoolTest, CreateSettlesItsParameters) {
    struct Case {
        const char* name;
        std::optional<int> initial, maximum, idle, stack;
        long threads, maxThreads, idleMs, stackBytes;
    };
    const std::nullopt_t none = std::nullopt;
    const Case cases[] = {
        {"defaults", none, none, none, none, 5, 20, 10000, 0},
        {"no initial workers", 0, none, none, none, 1, 20, 10000, 0},
        {"negative initial workers", -3, 4, none, none, 1, 4, 10000, 0},
        {"maximum below initial", 5, 3, none, none, 5, 5, 10000, 0},
        {"idle time-out too short", 2, 2, 50, none, 2, 2, 100, 0},
        {"idle time-out kept", 2, 2, 250, none, 2, 2, 250, 0},
        {"small stack", 1, 1, none, 5000, 1, 1, 10000, 8192},
        {"stack rounded to a page", 1, 1, none, 12300, 1, 1, 10000, 12288},
        {"stack given as 0", 1, 1, none, 0, 1, 1, 10000, 0},
        {"negative stack", 1, 1, none, -4096, 1, 1, 10000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(pool.Create(c.initial, c.maximum, c.idle, none, c.stack));
        EXPECT_EQ(pool.State(), Running);
        EXPECT_EQ(pool.ThreadCount(), c.threads);
        EXPECT_EQ(pool.IdleCount(), c.threads);
        EXPECT_EQ(pool.MaxThreads(), c.maxThreads);
        EXPECT_EQ(pool.IdleTimeout(), c.idleMs);
        EXPECT_EQ(pool.StackSize(), c.stackBytes);
        // The workers really run on the settled stack.
        ASSERT_TRUE(pool.Post(CountJob));
        ASSERT_TRUE(pool.Destroy(1, 5000));
        EXPECT_EQ(pool.State(), Stopped);
    }
    EXPECT_EQ(ranCount, static_cast<int>(std::size(cases)));
}

TEST_F(PoolTest, SettersApplyTheirRulesOnlyWhileRunning) {
    ASSERT_TRUE(pool.Create(1, 4, 1000));
    const std::pair<long, long> stacks[] = {{5000, 8192}, {12300, 8192}, {16385, 16384}, {0, 0}, {-1, 0}};
    for (const auto& [given, settled] : stacks) {
        pool.SetStackSize(given);
        EXPECT_EQ(pool.StackSize(), settled) << given;
    }
    pool.SetIdleTimeout(50);
    EXPECT_EQ(pool.IdleTimeout(), 100);
    pool.SetIdleTimeout(2000);
    EXPECT_EQ(pool.IdleTimeout(), 2000);
    pool.SetMaxThreads(0);
    EXPECT_EQ(pool.MaxThreads(), 1);
    pool.SetMaxThreads(7);
    EXPECT_EQ(pool.MaxThreads(), 7);

    ASSERT_TRUE(pool.Destroy(0, 5000));
    pool.SetMaxThreads(3);
    pool.SetIdleTimeout(500);
    pool.SetStackSize(65536);
    EXPECT_EQ(pool.MaxThreads(), 7);
    EXPECT_EQ(pool.IdleTimeout(), 2000);
    EXPECT_EQ(pool.StackSize(), 0);
}

TEST_F(PoolTest, RefusesToStartOrStopTwice) {
    EXPECT_TRUE(pool.Destroy()) << "a stopped pool is already stopped";
    ASSERT_TRUE(pool.Create(3, 6));
    EXPECT_FALSE(pool.Create(1, 1)) << "running";
    EXPECT_EQ(pool.ThreadCount(), 3);
    EXPECT_EQ(pool.MaxThreads(), 6);

    BlockTheWorkers(1);
    ASSERT_TRUE(pool.Destroy(2));
    ASSERT_EQ(pool.State(), Stopping) << "a worker is still in its job";
    EXPECT_FALSE(pool.Create(1, 1)) << "stopping";
    EXPECT_FALSE(pool.Destroy(0)) << "stopping";
    EXPECT_FALSE(pool.Post(CountJob)) << "stopping";
    EXPECT_EQ(pool.MaxThreads(), 6);

    SetEvent(releaseEvent);
    ASSERT_TRUE(WaitUntil([&] { return pool.State() == Stopped; }));
    // The last worker has ended: the pool starts again.
    ASSERT_TRUE(pool.Create(2, 2));
    ASSERT_TRUE(pool.Post(CountJob));
    ASSERT_TRUE(pool.Destroy(1, 5000));
    EXPECT_EQ(ranCount, 1);
}

// Creating and stopping from inside a message handler that Create dispatches
// sees the pool while it is starting.
ThreadPool* timerPool = nullptr;
struct DuringStart {
    int calls = 0;
    long state = -1;
    bool created = true, destroyed = true;
} duringStart;

void CALLBACK TryDuringStart(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    ++duringStart.calls;
    duringStart.state = timerPool->State();
    duringStart.created = timerPool->Create(1, 1);
    duringStart.destroyed = timerPool->Destroy(0, 100);
}

TEST_F(PoolTest, CreateDispatchesMessagesOnlyWhenAsked) {
    timerPool = &pool;
    for (const bool dispatch : {false, true}) {
        SCOPED_TRACE(dispatch ? "dispatching" : "not dispatching");
        duringStart = DuringStart{};
        const UINT_PTR timer = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, TryDuringStart);
        ASSERT_NE(timer, 0u);
        Sleep(50);  // the timer is due before Create begins
        ASSERT_TRUE(pool.Create(3, 3, std::nullopt, dispatch));
        KillTimer(nullptr, timer);
        EXPECT_EQ(pool.ThreadCount(), 3);
        if (dispatch) {
            EXPECT_EQ(duringStart.calls, 1);
            EXPECT_EQ(duringStart.state, Starting);
            EXPECT_FALSE(duringStart.created);
            EXPECT_FALSE(duringStart.destroyed);
        } else {
            EXPECT_EQ(duringStart.calls, 0);
        }
        ASSERT_TRUE(pool.Destroy(0, 5000));
    }
}

TEST_F(PoolTest, PostCarriesTheTwoIntegersAndRefusesBadJobs) {
    EXPECT_FALSE(pool.Post(RecordJob, 1, 2)) << "stopped";
    ASSERT_TRUE(pool.Create(1, 1));
    EXPECT_FALSE(pool.Post(nullptr, 1, 2));
    EXPECT_FALSE(pool.PostAddress(0, 1, 2));
    EXPECT_FALSE(pool.PostAddress(static_cast<std::uintptr_t>(static_cast<std::intptr_t>(-2))))
        << "an address that reads as a stop packet";
    EXPECT_EQ(pool.QueuedCount(), 0);

    ASSERT_TRUE(pool.Post(RecordJob, 0xFFFFFFFFu, 0x80000001u));
    ASSERT_TRUE(pool.Post(RecordJob));
    ASSERT_TRUE(pool.PostAddress(reinterpret_cast<std::uintptr_t>(&RecordJob), 7, 9));
    ASSERT_TRUE(pool.Destroy(1, 5000));
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> expected = {
        {0xFFFFFFFFu, 0x80000001u}, {0, 0}, {7, 9}};
    EXPECT_EQ(records, expected);
}

TEST_F(PoolTest, OneWorkerRunsJobsInPostingOrder) {
    ASSERT_TRUE(pool.Create(1, 1));
    BlockTheWorkers(1);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> expected;
    for (std::uint32_t job = 0; job < 300; ++job) {
        ASSERT_TRUE(pool.Post(RecordJob, job, job * 3));
        expected.emplace_back(job, job * 3);
    }
    EXPECT_EQ(pool.QueuedCount(), 300);
    EXPECT_FALSE(pool.IsIdle());
    SetEvent(releaseEvent);
    ASSERT_TRUE(pool.Destroy(1, 5000));
    EXPECT_EQ(records, expected);
}

TEST_F(PoolTest, StopModesRunOrDropQueuedJobsAndWaitOrNot) {
    struct Case {
        int mode;
        bool runsQueued, waits;
    };
    const Case cases[] = {{0, false, true}, {1, true, true}, {2, false, false},
                          {3, true, false}, {7, false, true}, {-1, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        ranCount = 0;
        blockedCount = 0;
        ResetEvent(releaseEvent);
        ASSERT_TRUE(pool.Create(1, 1));
        BlockTheWorkers(1);
        for (int job = 0; job < 3; ++job) ASSERT_TRUE(pool.Post(CountJob));
        ASSERT_EQ(pool.QueuedCount(), 3);

        if (c.waits) {
            std::thread release([] {
                Sleep(100);
                SetEvent(releaseEvent);
            });
            const bool stopped = pool.Destroy(c.mode, 5000);
            release.join();
            ASSERT_TRUE(stopped);
            EXPECT_EQ(pool.State(), Stopped) << "returned before the workers ended";
        } else {
            ASSERT_TRUE(pool.Destroy(c.mode));
            EXPECT_EQ(pool.State(), Stopping) << "waited for the worker";
            SetEvent(releaseEvent);
            ASSERT_TRUE(WaitUntil([&] { return pool.State() == Stopped; }));
        }
        EXPECT_EQ(ranCount, c.runsQueued ? 3 : 0);
        EXPECT_EQ(pool.ThreadCount(), 0);
        EXPECT_EQ(pool.QueuedCount(), 0);
    }
}

TEST_F(PoolTest, DestroyGivesUpAtItsTimeout) {
    ASSERT_TRUE(pool.Create(1, 1));
    BlockTheWorkers(1);
    const DWORD begin = GetTickCount();
    EXPECT_FALSE(pool.Destroy(0, 150));
    EXPECT_GE(GetTickCount() - begin, 140u);
    EXPECT_EQ(pool.State(), Stopping);
    SetEvent(releaseEvent);
    ASSERT_TRUE(WaitUntil([&] { return pool.State() == Stopped; }));
    EXPECT_TRUE(pool.Destroy());
}

void CALLBACK ReleaseBlockers(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    SetEvent(releaseEvent);
}

TEST_F(PoolTest, DestroyDispatchesMessagesWhileItWaits) {
    for (const bool dispatch : {false, true}) {
        SCOPED_TRACE(dispatch ? "dispatching" : "not dispatching");
        ResetEvent(releaseEvent);
        blockedCount = 0;
        ASSERT_TRUE(pool.Create(1, 1));
        BlockTheWorkers(1);
        const UINT_PTR timer = SetTimer(nullptr, 0, 50, ReleaseBlockers);
        ASSERT_NE(timer, 0u);
        // Only a dispatched timer message releases the job the stop waits for.
        EXPECT_EQ(pool.Destroy(0, 600, dispatch), dispatch);
        KillTimer(nullptr, timer);
        SetEvent(releaseEvent);
        ASSERT_TRUE(WaitUntil([&] { return pool.State() == Stopped; }));
    }
}

TEST_F(PoolTest, ManagerAddsAWorkerForAWaitingJobAndItLeavesWhenIdle) {
    ASSERT_TRUE(pool.Create(5, 10, 300));
    BlockTheWorkers(5);
    Sleep(100);
    EXPECT_EQ(pool.ThreadCount(), 5) << "no growth while no job waits";
    EXPECT_EQ(pool.IdleCount(), 0);

    ASSERT_TRUE(pool.Post(CountJob));
    ASSERT_TRUE(WaitUntil([] { return ranCount == 1; }));
    const DWORD jobDone = GetTickCount();
    EXPECT_EQ(pool.ThreadCount(), 6);
    ASSERT_TRUE(WaitUntil([&] { return pool.ThreadCount() == 5; }, 5000));
    EXPECT_GE(GetTickCount() - jobDone, 200u) << "the extra worker left before its idle time";
    Sleep(400);
    EXPECT_EQ(pool.ThreadCount(), 5) << "core workers do not time out";
}

// A start signal left over from the core workers once let the manager start a
// second extra worker before the first was counted; a few rounds catch it.
TEST_F(PoolTest, ManagerStopsAtTheCeiling) {
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        blockedCount = 0;
        ResetEvent(releaseEvent);
        ASSERT_TRUE(pool.Create(8, 9, 5000));
        for (int job = 0; job < 12; ++job) ASSERT_TRUE(pool.Post(BlockingJob));
        ASSERT_TRUE(WaitUntil([] { return blockedCount >= 9; }));
        Sleep(100);
        EXPECT_EQ(pool.ThreadCount(), 9);
        EXPECT_EQ(pool.BusyCount(), 9);
        EXPECT_EQ(pool.QueuedCount(), 3);
        SetEvent(releaseEvent);
        ASSERT_TRUE(pool.Destroy(1, 5000));
        EXPECT_EQ(blockedCount, 12);
    }
}

TEST_F(PoolTest, PausedPoolHoldsWorkersAndManagerUntilResumed) {
    EXPECT_FALSE(pool.Pause());
    EXPECT_FALSE(pool.Resume());
    EXPECT_FALSE(pool.WaitResumed(0));
    ASSERT_TRUE(pool.Create(1, 5, 5000));
    ASSERT_TRUE(pool.Pause());
    for (int job = 0; job < 3; ++job) ASSERT_TRUE(pool.Post(BlockingJob)) << "a paused pool still queues";
    Sleep(200);
    EXPECT_EQ(blockedCount, 0);
    // The manager may finish the round it was in, and no more.
    EXPECT_LE(pool.ThreadCount(), 2);
    EXPECT_FALSE(pool.WaitResumed(50));

    ASSERT_TRUE(pool.Resume());
    EXPECT_TRUE(pool.WaitResumed(0));
    ASSERT_TRUE(WaitUntil([] { return blockedCount == 3; }));
    EXPECT_EQ(pool.ThreadCount(), 3);
    SetEvent(releaseEvent);
}

TEST_F(PoolTest, DestroyOpensTheGateOfAPausedPool) {
    ASSERT_TRUE(pool.Create(2, 2));
    ASSERT_TRUE(pool.Pause());
    for (int job = 0; job < 4; ++job) ASSERT_TRUE(pool.Post(CountJob));
    ASSERT_TRUE(pool.Destroy(1, 5000));
    EXPECT_EQ(ranCount, 4);
}

TEST_F(PoolTest, WaitJobDoneTakesOneSignalPerWait) {
    EXPECT_FALSE(pool.WaitJobDone(0)) << "stopped";
    ASSERT_TRUE(pool.Create(2, 2));
    for (const bool dispatch : {false, true}) {
        SCOPED_TRACE(dispatch ? "dispatching" : "not dispatching");
        ranCount = 0;
        for (int job = 0; job < 3; ++job) ASSERT_TRUE(pool.Post(CountJob));
        ASSERT_TRUE(WaitUntil([&] { return ranCount == 3 && pool.IsIdle(); }));
        Sleep(20);  // the worker sets the event just after the job returns

        DWORD begin = GetTickCount();
        EXPECT_TRUE(pool.WaitJobDone(2000, dispatch));
        EXPECT_LT(GetTickCount() - begin, 100u) << "a finished job answers at once";

        begin = GetTickCount();
        EXPECT_FALSE(pool.WaitJobDone(150, dispatch)) << "three jobs, one signal";
        EXPECT_GE(GetTickCount() - begin, 140u);

        std::thread later([&] {
            Sleep(100);
            pool.Post(CountJob);
        });
        begin = GetTickCount();
        EXPECT_TRUE(pool.WaitJobDone(std::nullopt, dispatch));
        EXPECT_GE(GetTickCount() - begin, 80u) << "answered before the next job";
        later.join();
    }
}

TEST_F(PoolTest, EveryJobOfFourPostingThreadsRunsOnceAndNoHandleIsLeft) {
    constexpr std::uint32_t kPosters = 4, kJobsEach = 25000, kJobs = kPosters * kJobsEach;
    std::vector<std::atomic<unsigned char>> counts(kJobs);
    hits = &counts;
    const long handlesBefore = HandleCount();
    ASSERT_GT(handlesBefore, 0);

    ASSERT_TRUE(pool.Create(4, 8, 200));
    EXPECT_GE(HandleCount(), handlesBefore + 6) << "the port, four events and the manager";
    std::atomic<std::uint32_t> refused{0};
    std::vector<std::thread> posters;
    for (std::uint32_t poster = 0; poster < kPosters; ++poster) {
        posters.emplace_back([&, poster] {
            for (std::uint32_t job = 0; job < kJobsEach; ++job)
                if (!pool.Post(HitJob, poster * kJobsEach + job)) ++refused;
        });
    }
    for (std::thread& poster : posters) poster.join();
    ASSERT_TRUE(pool.Destroy(1, 20000));
    EXPECT_EQ(refused, 0u);

    std::uint32_t wrong = 0;
    for (const auto& count : counts) wrong += count != 1;
    EXPECT_EQ(wrong, 0u) << "jobs lost or run twice";
    EXPECT_EQ(HandleCount(), handlesBefore);
    hits = nullptr;
}

TEST_F(PoolTest, ThreadsOutliveTheirPoolObjectSafely) {
    const long handlesBefore = HandleCount();
    ASSERT_GT(handlesBefore, 0);
    auto owned = std::make_unique<ThreadPool>();
    ASSERT_TRUE(owned->Create(1, 1));
    ASSERT_TRUE(owned->Post(BlockingJob));
    ASSERT_TRUE(WaitUntil([] { return blockedCount == 1; }));
    ASSERT_TRUE(owned->Post(CountJob));
    owned.reset();  // stops without waiting while the worker is still in its job
    // Whatever the worker still touches must not be the object's memory, now
    // likely handed out again.
    std::vector<std::unique_ptr<unsigned char[]>> reused;
    for (int block = 0; block < 64; ++block) {
        reused.emplace_back(new unsigned char[sizeof(ThreadPool)]);
        std::fill_n(reused.back().get(), sizeof(ThreadPool), 0xCC);
    }

    SetEvent(releaseEvent);
    // The worker drops the queued job, ends, and closes the pool's handles.
    EXPECT_TRUE(WaitUntil([&] { return HandleCount() == handlesBefore; }));
    EXPECT_EQ(ranCount, 0);
}

}  // namespace
