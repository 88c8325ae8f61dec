// The dispatcher's pass over the table, against the engine double.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <set>

#include "app/program_folder.h"
#include "download/download_dispatcher.h"
#include "download_test_support.h"

using namespace download_test;

namespace {

// Ends every monitor of the tasks created so far at its next poll.
void FinishCreatedTasks() {
    const float done = 1.0f;
    for (int task = 1; task <= engineDouble.createdCount(); ++task) engineDouble.setPercents(task, &done, 1);
}

bool PoolIdle() { return _pool->BusyCount() == 0 && _pool->QueuedCount() == 0; }

class Dispatcher : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(PumpUntil(PoolIdle, 20000)) << "monitors of an earlier test still run";
        engineDouble.reset();
        ClearTable();
        statusHistory.clear();
    }
    void TearDown() override {
        StopDownloadThread();
        FinishCreatedTasks();
        PumpUntil(PoolIdle, 20000);
    }
    // One pass on the dispatcher thread, pumped until the condition holds.
    template <typename Condition>
    bool RunPassUntil(Condition condition, DWORD timeoutMs = 10000) {
        StopDownloadThread();
        if (!StartDownloadThread()) return false;
        const bool held = PumpUntil(condition, timeoutMs);
        if (!held) {
            for (int row = 0; row < TableRowCount(); ++row) std::printf("row %d: %s\n", row, Status(row).c_str());
            for (const std::string& shown : statusHistory) std::printf("status: %s\n", shown.c_str());
        }
        return held;
    }
};

}  // namespace

TEST_F(Dispatcher, TakesExactlyTheWaitingRowsAndCreatesThePoolOnItsFirstPass) {
    struct Row {
        const char* type;
        const char* status;
        bool taken;
    };
    const Row rows[] = {
        {"视频", "未下载", true},      {"直播", "未下载", true},  {"视频", "下载失败", true},
        {"直播", "下载失败", false},   {"视频", "100%", false},   {"视频", "已下载", false},
        {"直播", "不支持下载", false}, {"视频", "下载失败 ", false}, {"视频", "等待下载", false},
    };
    for (const Row& row : rows) AddRow(row.type, "https://cdn.example/v", row.status);
    const int expected = 3;
    ASSERT_TRUE(RunPassUntil([&] { return engineDouble.createdCount() == expected && CellWritten(2, "等待下载"); }));
    EXPECT_EQ(_pool->State(), Running);
    EXPECT_GE(_pool->ThreadCount(), 5);
    for (int i = 0; i < static_cast<int>(std::size(rows)); ++i) {
        EXPECT_EQ(CellWritten(i, "等待下载"), rows[i].taken) << "row " << i;
        if (!rows[i].taken) {
            EXPECT_EQ(Status(i), rows[i].status) << "row " << i;
        }
    }
    EXPECT_EQ(engineDouble.createdCount(), expected);
}

TEST_F(Dispatcher, SendsTheTrimmedLinkANewFileNameAndTheFixedFlags) {
    const int row = AddRow("视频", "  https://cdn.example/a b?c=1  ", "未下载");
    ASSERT_TRUE(RunPassUntil([&] { return CellWritten(row, "等待下载"); }));
    EXPECT_EQ(TableCellText(row, ColumnMediaUrl), "  https://cdn.example/a b?c=1  ") << "the cell keeps its blanks";
    const SentTask sent = Sent(0);
    EXPECT_EQ(sent.url, L"https://cdn.example/a b?c=1");
    EXPECT_TRUE(std::regex_match(sent.fileName, std::wregex(L"0_[a-z]{5}\\.mp4"))) << sent.fileName.size();
    const std::string savePath = ProgramFolder() + "\\video\\";
    EXPECT_EQ(sent.savePath, std::wstring(savePath.begin(), savePath.end()));
    EXPECT_EQ(sent.originOnly, 1);
    EXPECT_EQ(sent.disableAutoRename, 0);
    EXPECT_EQ(sent.resume, 0);
}

TEST_F(Dispatcher, RetriesAFailedRowWithANewTaskAndNewLetters) {
    const int row = AddRow("视频", "https://cdn.example/r", "未下载");
    ASSERT_TRUE(RunPassUntil([&] { return engineDouble.createdCount() == 1; }));
    ASSERT_TRUE(engineDouble.setState(1, 1, 0x40));  // the engine gives up: the monitor fails the row
    ASSERT_TRUE(PumpUntil([&] { return Status(row) == "下载失败"; }, 5000));
    ASSERT_TRUE(RunPassUntil([&] { return engineDouble.createdCount() == 2; }));
    const SentTask first = Sent(0), second = Sent(1);
    EXPECT_EQ(first.url, second.url);
    EXPECT_NE(first.fileName, second.fileName);
    EXPECT_EQ(first.fileName.substr(0, 2), L"0_");
    EXPECT_EQ(second.fileName.substr(0, 2), L"0_");
}

namespace {

HANDLE releaseBlockers = nullptr;
void Blocker(std::uint32_t, std::uint32_t) { WaitForSingleObject(releaseBlockers, 20000); }

}  // namespace

TEST_F(Dispatcher, SkipsEveryRowWhileFiveJobsAreBusy) {
    if (_pool->State() != Running) {
        ASSERT_TRUE(_pool->Create(5, 10, std::nullopt, true, std::nullopt));
    }
    releaseBlockers = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(_pool->Post(Blocker));
    ASSERT_TRUE(PumpUntil([] { return _pool->BusyCount() == 5; }, 5000));
    const int first = AddRow("视频", "https://cdn.example/1", "未下载");
    const int second = AddRow("视频", "https://cdn.example/2", "下载失败");
    StopDownloadThread();
    ASSERT_TRUE(StartDownloadThread());
    PumpUntil([] { return false; }, 1000);
    EXPECT_EQ(engineDouble.createdCount(), 0);
    EXPECT_EQ(Status(first), "未下载");
    EXPECT_EQ(Status(second), "下载失败");

    SetEvent(releaseBlockers);
    ASSERT_TRUE(PumpUntil([] { return _pool->BusyCount() == 0; }, 5000));
    ASSERT_TRUE(RunPassUntil([&] { return CellWritten(first, "等待下载") && CellWritten(second, "等待下载"); }));
    CloseHandle(releaseBlockers);
}

TEST_F(Dispatcher, ReportsEngineFailuresAndLeavesTheRowForTheNextPass) {
    const int row = AddRow("视频", "https://cdn.example/f", "未下载");
    const int later = AddRow("视频", "https://cdn.example/g", "未下载");
    engineDouble.failNextCreate(1);
    ASSERT_TRUE(RunPassUntil([] { return StatusShown("下载组件初始化失败！"); }));
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(Status(row), "未下载");
    EXPECT_EQ(Status(later), "未下载") << "the pass ends at the failure";

    engineDouble.failNextStart(1);
    ASSERT_TRUE(RunPassUntil([] { return StatusShown("下载组件任务下载失败！"); }));
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(Status(row), "未下载");
    EXPECT_EQ(engineDouble.createdCount(), 1) << "the started-and-failed task is left to the engine";

    ASSERT_TRUE(RunPassUntil([&] { return CellWritten(row, "等待下载") && CellWritten(later, "等待下载"); }));
}

TEST_F(Dispatcher, AReplacedPassDoesNoFurtherWork) {
    for (int i = 0; i < 40; ++i) AddRow("视频", "https://cdn.example/p" + std::to_string(i), "已下载");
    const int waiting = AddRow("视频", "https://cdn.example/last", "未下载");
    StopDownloadThread();
    ASSERT_TRUE(StartDownloadThread());
    StopDownloadThread();  // retired before it could reach the waiting row, or after
    const int createdAtStop = engineDouble.createdCount();
    PumpUntil([] { return false; }, 1500);
    EXPECT_EQ(engineDouble.createdCount(), createdAtStop) << "nothing is created once the pass was replaced";
    EXPECT_EQ(CellWritten(waiting, "等待下载"), createdAtStop == 1);
}

TEST(DispatcherText, RandomLettersAndTrimBlanks) {
    for (int i = 0; i < 200; ++i) {
        const std::string letters = RandomLetters(5);
        ASSERT_EQ(letters.size(), 5u);
        for (char c : letters) ASSERT_TRUE(c >= 'a' && c <= 'z') << letters;
    }
    // Calls within one millisecond still differ (the seed changes on every call).
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) seen.insert(RandomLetters(5));
    EXPECT_GT(seen.size(), 45u);

    const std::pair<const char*, const char*> cases[] = {
        {"", ""}, {"   ", ""}, {"  a b  ", "a b"}, {"\ta ", "\ta"}, {"x", "x"}, {" 视频 ", "视频"}};
    for (const auto& [text, trimmed] : cases) EXPECT_EQ(TrimBlanks(text), trimmed) << text;
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!SetUp()) {
        std::fprintf(stderr, "cannot load the engine double\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
