// The progress monitor against scripted engine readings.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "download/progress_monitor.h"
#include "download_test_support.h"

using namespace download_test;

namespace {

// A started task whose progress follows the script, one reading per poll (the
// last one repeats). The double answers one scripted reading per query, and a
// poll asks twice (the progress, then the task's state), so each is doubled.
TaskHandle ScriptedTask(const std::vector<float>& percents) {
    const TaskHandle task = _engine->CreateTask("https://cdn.example/m", std::nullopt, std::nullopt, "m.mp4", "C:\\", 1, 0, 0);
    _engine->StartTask(task);
    std::vector<float> perQuery;
    for (float percent : percents) perQuery.insert(perQuery.end(), {percent, percent});
    engineDouble.setPercents(task, perQuery.data(), static_cast<int>(perQuery.size()));
    return task;
}

// How many tasks the monitors have deleted so far.
int Deletions() {
    std::string log(4096, '\0');
    log.resize(static_cast<std::size_t>(std::max(0, engineDouble.callLog(log.data(), static_cast<int>(log.size())))));
    int count = 0;
    for (std::size_t at = log.find("DeleteTask"); at != std::string::npos; at = log.find("DeleteTask", at + 1)) ++count;
    return count;
}

std::vector<float> Repeat(float value, int count) { return std::vector<float>(static_cast<std::size_t>(count), value); }

std::vector<float> Join(std::vector<float> a, const std::vector<float>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class Monitor : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(PumpUntil([] { return _pool->BusyCount() == 0 && _pool->QueuedCount() == 0; }, 20000));
        if (_pool->State() != Running) {
            ASSERT_TRUE(_pool->Create(5, 10, std::nullopt, true, std::nullopt));
        }
        engineDouble.reset();
        ClearTable();
        statusHistory.clear();
    }
    int Watch(TaskHandle task) {
        const int row = AddRow("视频", "https://cdn.example/m", "等待下载");
        EXPECT_TRUE(_pool->Post(MonitorDownload, static_cast<std::uint32_t>(task), static_cast<std::uint32_t>(row)));
        return row;
    }
    bool Idle(DWORD timeoutMs) {
        return PumpUntil([] { return _pool->BusyCount() == 0 && _pool->QueuedCount() == 0; }, timeoutMs);
    }
};

}  // namespace

TEST_F(Monitor, ShowsWholePercentagesRoundedDownAndEndsAtOneHundred) {
    const int row = Watch(ScriptedTask({0.25f, 0.999f, 1.0f}));
    ASSERT_TRUE(PumpUntil([&] { return Status(row) == "100%"; }, 5000));
    EXPECT_TRUE(CellWritten(row, "25%"));
    EXPECT_TRUE(CellWritten(row, "99%")) << "0.999 is not yet complete";
    EXPECT_TRUE(Idle(2000)) << "the job ends once the engine reports 1.0";
    EXPECT_EQ(Status(row), "100%");
    EXPECT_EQ(Deletions(), 0) << "a completed task is left to the engine";
}

TEST_F(Monitor, AReadingAboveOneShowsItsNumberAndGoesOn) {
    const TaskHandle task = ScriptedTask({1.01f});
    const int row = Watch(task);
    ASSERT_TRUE(PumpUntil([&] { return Status(row) == "101%"; }, 3000));
    EXPECT_FALSE(Idle(1500)) << "101% does not end the job";
    const float done = 1.0f;
    engineDouble.setPercents(task, &done, 1);
    EXPECT_TRUE(Idle(3000));
    EXPECT_EQ(Status(row), "100%");
}

TEST_F(Monitor, EndsAsFailedWhenTheEngineReportsTheTaskFailed) {
    const TaskHandle task = ScriptedTask({0.3f});
    const int row = Watch(task);
    ASSERT_TRUE(PumpUntil([&] { return Status(row) == "30%"; }, 3000));
    engineDouble.setState(task, 1, 0x40);
    ASSERT_TRUE(PumpUntil([&] { return Status(row) == "下载失败"; }, 3000)) << "not after fifty readings, at once";
    EXPECT_EQ(Deletions(), 1) << "the failed task is deleted before its row can be taken again";
    EXPECT_TRUE(PumpUntil([&] { return StatusShown(std::to_string(row) + "下载失败，错误信息：任务超时"); }, 2000))
        << "the reason is read before the task goes";
    EXPECT_TRUE(Idle(2000)) << "the worker is free again";
}

TEST_F(Monitor, FailsAtTheFiftiethZeroReadingCountedOverTheWholeJob) {
    for (int i = 0; i < 7; ++i) AddRow("视频", "https://cdn.example/pad", "100%");  // the watched rows are 7, 8, 9
    const TaskHandle never = ScriptedTask({0.0f});
    const TaskHandle interrupted = ScriptedTask(Join(Join(Repeat(0.0f, 30), {0.5f}), Repeat(0.0f, 30)));
    const TaskHandle unanswered = ScriptedTask({0.0f});
    engineDouble.setQueryFails(unanswered, TRUE);
    const int neverRow = Watch(never), interruptedRow = Watch(interrupted), unansweredRow = Watch(unanswered);
    ASSERT_EQ(neverRow, 7);

    const DWORD start = GetTickCount();
    ASSERT_TRUE(PumpUntil([&] { return Status(neverRow) == "下载失败"; }, 40000));
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 24000u) << "fifty polls of 500 ms";
    EXPECT_TRUE(PumpUntil([] { return StatusShown("7下载失败，错误信息：未知错误"); }, 2000));
    ASSERT_TRUE(PumpUntil([&] { return Status(unansweredRow) == "下载失败"; }, 5000));
    EXPECT_TRUE(PumpUntil([] { return StatusShown("9下载失败，错误信息："); }, 2000))
        << "a failed query reads 0 and gives no error text";
    ASSERT_TRUE(PumpUntil([&] { return Status(interruptedRow) == "下载失败"; }, 5000))
        << "30 zeros, progress, then 20 zeros fail the job too";
    EXPECT_TRUE(PumpUntil([] { return StatusShown("8下载失败，错误信息：未知错误"); }, 2000));
    EXPECT_TRUE(Idle(2000));
    EXPECT_EQ(Deletions(), 3) << "a task given up on at fifty zeros is deleted, since it may still be running";
}

TEST(PumpingSleep, SleepsItsTimeInSlicesWhileDeliveringMessages) {
    for (const unsigned ms : {5u, 15u, 500u}) {
        const DWORD start = GetTickCount();
        PumpingSleep(ms);
        const DWORD elapsed = GetTickCount() - start;
        EXPECT_GE(elapsed + 2, ms) << ms;  // the tick count has a coarse grain
        EXPECT_LT(elapsed, ms + 200) << ms;
    }
}
