// The real engine (xldl.dll, its host process and the helper) under Wine,
// downloading from the local HTTPS CDN: byte-exact files over several
// connections and over one, through dropped connections, the failures a
// server can cause, the file-name rules, resuming, and the host's lifetime
// tied to its client.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cdn_fixture.h"
#include "engine_under_test.h"
#include "test_folders.h"

namespace {

constexpr int kCdnPort = 18560;
// The host's stall time-out for these tests (the engine's default is 30 s).
constexpr wchar_t kTestTimeoutMs[] = L"1500";

CdnServer* cdn = nullptr;

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring FileUrl(const std::string& name) { return Wide(cdn->Origin() + "/files/" + name); }

std::vector<CdnLogEntry> LogOf(const std::string& name, int since = 0) {
    std::vector<CdnLogEntry> entries;
    for (CdnLogEntry& entry : cdn->Log(since))
        if (entry.path == "/files/" + name) entries.push_back(std::move(entry));
    return entries;
}

XL_TASK StartTask(const TaskTexts& texts) {
    const XL_TASK task = Engine().createTask(MakeParam(texts).get());
    EXPECT_NE(task, 0u) << "the engine refused the task";
    if (task) {
        EXPECT_TRUE(Engine().startTask(task));
    }
    return task;
}

bool NoPartialFiles(const std::wstring& folder) {
    for (const std::wstring& name : FolderEntries(folder))
        if (name.find(L".qmdl") != std::wstring::npos) return false;
    return true;
}

class EngineEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        SetEnvironmentVariableW(L"QUILLMERE_ENGINE_TIMEOUT_MS", kTestTimeoutMs);
        CdnOptions options;
        options.port = kCdnPort;
        options.idleSeconds = 120;
        server_ = std::make_unique<CdnServer>(options);
        cdn = server_.get();
    }
    void TearDown() override {
        if (Engine().uninit) Engine().uninit();
        cdn = nullptr;
        server_.reset();
    }

private:
    std::unique_ptr<CdnServer> server_;
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(cdn && cdn->Ready()) << "the local CDN did not start";
        ASSERT_TRUE(Engine().init) << "xldl.dll is not in the engine folder";
        ASSERT_TRUE(Engine().init()) << "the host did not start";
        cdn->ClearFaults();
    }
    TestFolder folder{"engine"};
};

}  // namespace

TEST_F(EngineTest, LargeFileArrivesByteExactOverSeveralConnections) {
    constexpr long long kSize = 50LL << 20;
    ASSERT_TRUE(cdn->PutPattern("large.bin", kSize));
    const XL_TASK task = StartTask({FileUrl("large.bin"), folder.Wide(), L"大文件.mp4"});
    const DownTaskInfo info = WaitForEnd(task, 90000);
    ASSERT_EQ(info.stat, TSC_COMPLETE) << "fail_code " << info.fail_code;
    EXPECT_EQ(info.fPercent, 1.0f);
    EXPECT_EQ(info.nTotalSize, kSize);
    EXPECT_EQ(info.nTotalDownload, kSize);
    EXPECT_STREQ(info.szFilename, L"大文件.mp4");
    EXPECT_TRUE(IsPattern(ReadWholeFile(folder.Wide() + L"\\大文件.mp4"), kSize));
    EXPECT_TRUE(NoPartialFiles(folder.Wide()));

    std::set<int> connections;
    long long received = 0;
    for (const CdnLogEntry& entry : LogOf("large.bin")) {
        connections.insert(entry.connection);
        EXPECT_EQ(entry.status, 206) << entry.range;
        EXPECT_FALSE(entry.range.empty()) << "every request asks for a range";
        received += entry.sent;
    }
    EXPECT_GE(connections.size(), 4u) << "the file came over several connections";
    EXPECT_GE(received, kSize);
}

TEST_F(EngineTest, ServerWithoutRangesGivesOneConnectionAndTheWholeFile) {
    constexpr long long kSize = 6LL << 20;
    ASSERT_TRUE(cdn->PutPattern("norange.bin", kSize));
    ASSERT_TRUE(cdn->Fault("norange.bin", "no_ranges=1"));
    const XL_TASK task = StartTask({FileUrl("norange.bin"), folder.Wide(), L"one.mp4"});
    const DownTaskInfo info = WaitForEnd(task, 60000);
    ASSERT_EQ(info.stat, TSC_COMPLETE) << "fail_code " << info.fail_code;
    EXPECT_TRUE(IsPattern(ReadWholeFile(folder.Wide() + L"\\one.mp4"), kSize));
    const std::vector<CdnLogEntry> log = LogOf("norange.bin");
    ASSERT_EQ(log.size(), 1u) << "one request, on one connection";
    EXPECT_EQ(log[0].status, 200);
}

TEST_F(EngineTest, DroppedConnectionsStillGiveAByteExactFile) {
    constexpr long long kSize = 12LL << 20;
    ASSERT_TRUE(cdn->PutPattern("drops.bin", kSize));
    ASSERT_TRUE(cdn->Fault("drops.bin", "drop_prob=0.5&seed=3"));
    const XL_TASK task = StartTask({FileUrl("drops.bin"), folder.Wide(), L"drops.mp4"});
    const DownTaskInfo info = WaitForEnd(task, 60000);
    ASSERT_EQ(info.stat, TSC_COMPLETE) << "fail_code " << info.fail_code;
    EXPECT_TRUE(IsPattern(ReadWholeFile(folder.Wide() + L"\\drops.mp4"), kSize));
    int dropped = 0;
    for (const CdnLogEntry& entry : LogOf("drops.bin")) dropped += entry.end == "drop" ? 1 : 0;
    EXPECT_GT(dropped, 0) << "the server dropped connections on the way";
}

TEST_F(EngineTest, RedirectsOfEveryKindAreFollowedWithTheTasksHeaders) {
    constexpr long long kSize = 12LL << 20;  // large enough for several pieces
    ASSERT_TRUE(cdn->PutPattern("target.bin", kSize));
    // 303 and 308 are the kinds WinHTTP does not follow by itself under Wine.
    ASSERT_TRUE(cdn->Fault("first.bin", "redirect=/files/second.bin&redirect_status=303"));
    ASSERT_TRUE(cdn->Fault("second.bin", "redirect=" + cdn->Origin() + "/files/target.bin&redirect_status=308"));
    TaskTexts texts{FileUrl("first.bin"), folder.Wide(), L"moved.mp4"};
    texts.referer = L"https://channels.weixin.qq.com/";
    texts.cookies = L"session=abc; lang=zh";
    const int logBefore = cdn->LogCount();
    const DownTaskInfo info = WaitForEnd(StartTask(texts), 30000);
    ASSERT_EQ(info.stat, TSC_COMPLETE) << "fail_code " << info.fail_code;
    EXPECT_TRUE(IsPattern(ReadWholeFile(folder.Wide() + L"\\moved.mp4"), kSize));
    const std::vector<CdnLogEntry> target = LogOf("target.bin", logBefore);
    ASSERT_GE(target.size(), 2u) << "the pieces went to the redirect's target";
    for (const CdnLogEntry& entry : cdn->Log(logBefore)) {
        EXPECT_EQ(entry.Header("Referer"), "https://channels.weixin.qq.com/") << entry.path;
        EXPECT_EQ(entry.Header("Cookie"), "session=abc; lang=zh") << entry.path;
        EXPECT_FALSE(entry.range.empty()) << entry.path;
    }
}

TEST_F(EngineTest, ServerFailuresEndTheTaskWithAFittingCodeAndNoFile) {
    ASSERT_TRUE(cdn->PutPattern("stalls.bin", 1 << 20));
    ASSERT_TRUE(cdn->Fault("stalls.bin", "stall_after=1"));  // a byte, then silence
    ASSERT_TRUE(cdn->PutPattern("broken.bin", 1 << 20));
    ASSERT_TRUE(cdn->Fault("broken.bin", "fail_first=1000&fail_status=503"));
    // A server without ranges whose every answer announces more than it sends:
    // each attempt starts again from the first byte and ends at the same place.
    ASSERT_TRUE(cdn->PutPattern("short.bin", 1 << 20));
    ASSERT_TRUE(cdn->Fault("short.bin", "no_ranges=1&length=" + std::to_string((1 << 20) + 65536)));
    struct Case {
        std::wstring url;
        int failCode;
    };
    const Case cases[] = {
        {FileUrl("missing.bin"), TASK_ERROR_DOWN_INVALID},
        {FileUrl("broken.bin"), TASK_ERROR_DOWN_INVALID},
        {FileUrl("stalls.bin"), TASK_ERROR_TIMEOUT},
        {L"https://127.0.0.1:18599/files/none", TASK_ERROR_HTTPMGR_NOT_IP},  // nobody listens there
        {FileUrl("short.bin"), TASK_ERROR_HTTPMGR_NOT_IP},
    };
    std::vector<XL_TASK> tasks;
    for (std::size_t i = 0; i < std::size(cases); ++i)
        tasks.push_back(StartTask({cases[i].url, folder.Wide(), L"f" + std::to_wstring(i) + L".mp4"}));
    const ULONGLONG started = GetTickCount64();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const DownTaskInfo info = WaitForEnd(tasks[i], 40000);
        EXPECT_EQ(info.stat, TSC_ERROR) << "case " << i;
        EXPECT_EQ(info.fail_code, cases[i].failCode) << "case " << i;
        EXPECT_LT(info.fPercent, 1.0f);
    }
    EXPECT_LT(GetTickCount64() - started, 30000u) << "failures end in seconds, not minutes";
    EXPECT_EQ(LogOf("missing.bin").size(), 1u) << "a 404 is not asked again";
    EXPECT_GT(LogOf("broken.bin").size(), 1u) << "a 503 is asked again";
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_FALSE(FileExists(folder.Wide() + L"\\f" + std::to_wstring(i) + L".mp4")) << "case " << i;
}

TEST_F(EngineTest, ExistingFileIsKeptAndTheNewOneRenamedUnlessRenamingIsDisabled) {
    ASSERT_TRUE(cdn->PutPattern("clip.bin", 300000));
    const std::wstring existing = folder.Wide() + L"\\片段.mp4";
    WriteWholeFile(existing, "earlier download");
    WriteWholeFile(folder.Wide() + L"\\片段(1).mp4", "another one");

    const XL_TASK renamed = StartTask({FileUrl("clip.bin"), folder.Wide(), L"片段.mp4"});
    const DownTaskInfo info = WaitForEnd(renamed, 30000);
    ASSERT_EQ(info.stat, TSC_COMPLETE) << "fail_code " << info.fail_code;
    EXPECT_STREQ(info.szFilename, L"片段(2).mp4");
    EXPECT_TRUE(IsPattern(ReadWholeFile(folder.Wide() + L"\\片段(2).mp4"), 300000));

    TaskTexts strict{FileUrl("clip.bin"), folder.Wide(), L"片段.mp4"};
    strict.disableAutoRename = 1;
    const DownTaskInfo refused = WaitForEnd(StartTask(strict), 30000);
    EXPECT_EQ(refused.stat, TSC_ERROR);
    EXPECT_EQ(refused.fail_code, TASK_ERROR_DISK_CREATE);
    EXPECT_EQ(ReadWholeFile(existing), "earlier download");
    EXPECT_EQ(ReadWholeFile(folder.Wide() + L"\\片段(1).mp4"), "another one");
    EXPECT_EQ(FolderEntries(folder.Wide()).size(), 3u);
}

TEST_F(EngineTest, BadInputCreatesNoTaskAndWritesNothing) {
    const std::wstring url = FileUrl("any.bin");
    auto overlong = MakeParam({url, folder.Wide(), L"a.mp4"});
    for (std::size_t i = 0; i < XL_URL_FIELD_LENGTH; ++i) overlong->szTaskUrl[i] = L'u';
    std::memcpy(overlong->szTaskUrl, L"http://", 14);
    auto longName = MakeParam({url, folder.Wide(), L"a.mp4"});
    for (std::size_t i = 0; i < XL_PATH_FIELD_LENGTH; ++i) longName->szFilename[i] = L'n';
    std::vector<std::unique_ptr<DownTaskParam>> params;
    params.push_back(std::move(overlong));
    params.push_back(std::move(longName));
    params.push_back(MakeParam({L"", folder.Wide(), L"a.mp4"}));
    params.push_back(MakeParam({L"ftp://127.0.0.1/files/any.bin", folder.Wide(), L"a.mp4"}));
    params.push_back(MakeParam({L"127.0.0.1/files/any.bin", folder.Wide(), L"a.mp4"}));
    params.push_back(MakeParam({url, folder.Wide() + L"\\不存在", L"a.mp4"}));
    params.push_back(MakeParam({url, folder.Wide(), L"..\\a.mp4"}));
    params.push_back(MakeParam({url, folder.Wide(), L""}));
    for (std::size_t i = 0; i < params.size(); ++i) EXPECT_EQ(Engine().createTask(params[i].get()), 0u) << "case " << i;
    EXPECT_TRUE(FolderEntries(folder.Wide()).empty());
    EXPECT_EQ(Engine().createTask(nullptr), 0u);
    DownTaskInfo info;
    EXPECT_FALSE(Engine().queryTaskInfoEx(999999, &info)) << "an unknown task";
    EXPECT_FALSE(Engine().startTask(999999));
}

TEST_F(EngineTest, StoppedDownloadResumesWhereItStopped) {
    constexpr long long kSize = 8LL << 20;
    ASSERT_TRUE(cdn->PutPattern("resume.bin", kSize));
    ASSERT_TRUE(cdn->Fault("resume.bin", "rate=2000000"));
    TaskTexts texts{FileUrl("resume.bin"), folder.Wide(), L"resume.mp4"};
    const XL_TASK first = StartTask(texts);
    ASSERT_EQ(WaitForState(first, TSC_DOWNLOAD, 20000).stat, TSC_DOWNLOAD);
    while (Query(first).nTotalDownload < kSize / 4 && Query(first).stat == TSC_DOWNLOAD) Sleep(50);
    ASSERT_TRUE(Engine().stopTask(first));
    const DownTaskInfo paused = WaitForState(first, TSC_PAUSE, 20000);
    ASSERT_EQ(paused.stat, TSC_PAUSE);
    ASSERT_GE(paused.nTotalDownload, kSize / 4);
    ASSERT_LT(paused.nTotalDownload, kSize);
    EXPECT_FALSE(FileExists(folder.Wide() + L"\\resume.mp4")) << "a partial file never has the final name";

    // A new host, as after a restart of the program; the partial file stays.
    ASSERT_TRUE(Engine().uninit());
    ASSERT_TRUE(Engine().init());
    cdn->ClearFaults();
    const int logBefore = cdn->LogCount();
    texts.resume = 1;
    const DownTaskInfo info = WaitForEnd(StartTask(texts), 60000);
    ASSERT_EQ(info.stat, TSC_COMPLETE) << "fail_code " << info.fail_code;
    EXPECT_TRUE(IsPattern(ReadWholeFile(folder.Wide() + L"\\resume.mp4"), kSize));
    // Every piece had begun, so a download that kept nothing would ask for byte 0 again.
    const std::vector<CdnLogEntry> resumed = LogOf("resume.bin", logBefore);
    ASSERT_FALSE(resumed.empty());
    for (const CdnLogEntry& entry : resumed)
        EXPECT_NE(entry.range.rfind("bytes=0-", 0), 0u) << "fetched again from the start: " << entry.range;
    EXPECT_TRUE(NoPartialFiles(folder.Wide()));
}

// A server that sends a byte at a time holds no read for long: the task shows
// the bytes as they come, stops at once, and once deleted leaves no partial file.
TEST_F(EngineTest, TricklingAnswerShowsItsBytesAndStopsOrGoesAtOnce) {
    ASSERT_TRUE(cdn->PutPattern("trickle.bin", 1 << 20));
    ASSERT_TRUE(cdn->Fault("trickle.bin", "rate=20"));
    const XL_TASK task = StartTask({FileUrl("trickle.bin"), folder.Wide(), L"trickle.mp4"});
    ASSERT_EQ(WaitForState(task, TSC_DOWNLOAD, 20000).stat, TSC_DOWNLOAD);
    const DWORD start = GetTickCount();
    while (Query(task).nTotalDownload == 0 && GetTickCount() - start < 10000) Sleep(50);
    EXPECT_GT(Query(task).nTotalDownload, 0) << "bytes that arrived are written as they come";

    ASSERT_TRUE(Engine().stopTask(task));
    EXPECT_EQ(WaitForState(task, TSC_PAUSE, 5000).stat, TSC_PAUSE) << "the stop waits for no full buffer";
    ASSERT_TRUE(Engine().startTask(task));
    ASSERT_EQ(WaitForState(task, TSC_DOWNLOAD, 20000).stat, TSC_DOWNLOAD);
    Sleep(500);
    ASSERT_TRUE(Engine().deleteTask(task));
    const DWORD deleted = GetTickCount();
    while (!NoPartialFiles(folder.Wide()) && GetTickCount() - deleted < 5000) Sleep(50);
    EXPECT_TRUE(NoPartialFiles(folder.Wide())) << "a deleted task ends and takes its partial file with it";
}

TEST_F(EngineTest, TwentyTasksFromFiveThreadsAllComplete) {
    constexpr int kThreads = 5, kTasksPerThread = 4;
    for (int i = 0; i < kThreads * kTasksPerThread; ++i)
        ASSERT_TRUE(cdn->PutPattern("many" + std::to_string(i), 200000 + 150000 * i));
    std::atomic<int> complete{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::vector<XL_TASK> tasks;
            for (int k = 0; k < kTasksPerThread; ++k) {
                const int i = t * kTasksPerThread + k;
                const XL_TASK task = Engine().createTask(
                    MakeParam({FileUrl("many" + std::to_string(i)), folder.Wide(), L"m" + std::to_wstring(i) + L".mp4"})
                        .get());
                if (task && Engine().startTask(task)) tasks.push_back(task);
            }
            for (const XL_TASK task : tasks)
                if (WaitForEnd(task, 60000).stat == TSC_COMPLETE) ++complete;
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(complete, kThreads * kTasksPerThread);
    for (int i = 0; i < kThreads * kTasksPerThread; ++i)
        EXPECT_TRUE(IsPattern(ReadWholeFile(folder.Wide() + L"\\m" + std::to_wstring(i) + L".mp4"), 200000 + 150000 * i))
            << i;
}

TEST_F(EngineTest, KilledHostFailsItsTasksAndANewInitStartsAnother) {
    ASSERT_TRUE(cdn->PutPattern("slow.bin", 20 << 20));
    ASSERT_TRUE(cdn->Fault("slow.bin", "rate=500000"));
    const XL_TASK task = StartTask({FileUrl("slow.bin"), folder.Wide(), L"slow.mp4"});
    ASSERT_EQ(WaitForState(task, TSC_DOWNLOAD, 20000).stat, TSC_DOWNLOAD);
    const std::vector<DWORD> hosts = HostsOf(GetCurrentProcessId());
    ASSERT_EQ(hosts.size(), 1u);
    HANDLE host = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, hosts[0]);
    ASSERT_TRUE(host);
    ASSERT_TRUE(TerminateProcess(host, 9));
    WaitForSingleObject(host, 5000);
    CloseHandle(host);

    const ULONGLONG killed = GetTickCount64();
    const DownTaskInfo info = WaitForEnd(task, 5000);
    EXPECT_LT(GetTickCount64() - killed, 2000u);
    EXPECT_EQ(info.stat, TSC_ERROR);
    EXPECT_EQ(info.fail_code, TASK_ERROR_MINITP_CRASHED);
    EXPECT_FALSE(FileExists(folder.Wide() + L"\\slow.mp4"));

    ASSERT_TRUE(Engine().init()) << "a new host starts";
    ASSERT_TRUE(cdn->PutPattern("after.bin", 100000));
    const DownTaskInfo after = WaitForEnd(StartTask({FileUrl("after.bin"), folder.Wide(), L"after.mp4"}), 30000);
    EXPECT_EQ(after.stat, TSC_COMPLETE);
    EXPECT_EQ(Query(task).fail_code, TASK_ERROR_MINITP_CRASHED) << "the old task stays failed";
}

TEST_F(EngineTest, UnInitWithTasksRunningLeavesNoProcessBehind) {
    ASSERT_TRUE(cdn->PutPattern("running.bin", 20 << 20));
    ASSERT_TRUE(cdn->Fault("running.bin", "rate=300000"));
    const XL_TASK a = StartTask({FileUrl("running.bin"), folder.Wide(), L"a.mp4"});
    const XL_TASK b = StartTask({FileUrl("running.bin"), folder.Wide(), L"b.mp4"});
    ASSERT_EQ(WaitForState(a, TSC_DOWNLOAD, 20000).stat, TSC_DOWNLOAD);
    const std::vector<DWORD> hosts = HostsOf(GetCurrentProcessId());
    ASSERT_EQ(hosts.size(), 1u);
    HANDLE host = OpenProcess(SYNCHRONIZE, FALSE, hosts[0]);
    ASSERT_TRUE(host);
    EXPECT_TRUE(Engine().uninit());
    EXPECT_EQ(WaitForSingleObject(host, 0), WAIT_OBJECT_0) << "XL_UnInit returns after the host has ended";
    CloseHandle(host);
    EXPECT_TRUE(HostsOf(GetCurrentProcessId()).empty());
    DownTaskInfo info;
    EXPECT_FALSE(Engine().queryTaskInfoEx(b, &info)) << "no tasks after XL_UnInit";
    EXPECT_FALSE(FileExists(folder.Wide() + L"\\a.mp4"));
}

namespace {

// Starts this test program in one of its child roles and returns its process.
HANDLE StartChild(const std::wstring& role, const std::wstring& argument) {
    std::wstring command = L"\"" + TestProgramFolder() + L"\\xldl_tests.exe\" " + role + L" \"" + argument + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

std::vector<DWORD> WaitForHostsOf(DWORD parent, std::size_t count, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    std::vector<DWORD> hosts;
    while ((hosts = HostsOf(parent)).size() < count && GetTickCount64() < deadline) Sleep(50);
    return hosts;
}

}  // namespace

TEST_F(EngineTest, HostEndsWhenItsClientIsKilled) {
    ASSERT_TRUE(cdn->PutPattern("orphan.bin", 20 << 20));
    ASSERT_TRUE(cdn->Fault("orphan.bin", "rate=300000"));
    HANDLE client = StartChild(L"--downloading-client", FileUrl("orphan.bin") + L"|" + folder.Wide());
    ASSERT_TRUE(client);
    const std::vector<DWORD> hosts = WaitForHostsOf(GetProcessId(client), 1, 20000);
    ASSERT_EQ(hosts.size(), 1u) << "the client started its host";
    HANDLE host = OpenProcess(SYNCHRONIZE, FALSE, hosts[0]);
    ASSERT_TRUE(host);
    Sleep(500);
    TerminateProcess(client, 9);
    CloseHandle(client);
    EXPECT_EQ(WaitForSingleObject(host, 5000), WAIT_OBJECT_0) << "the host outlived its client";
    CloseHandle(host);
}

TEST_F(EngineTest, HelperEndsOnlyHostsOfItsFolderThatOutlivedTheirClient) {
    // Suspended hosts never notice their client: only the helper can end them.
    TestFolder otherEngine("other engine");
    const std::wstring otherHost = otherEngine.Wide() + L"\\MiniThunderPlatform.exe";
    ASSERT_TRUE(CopyFileW((EngineFolder() + L"\\MiniThunderPlatform.exe").c_str(), otherHost.c_str(), FALSE));

    HANDLE orphanMaker = StartChild(L"--orphaning-client", EngineFolder() + L"\\MiniThunderPlatform.exe");
    HANDLE otherMaker = StartChild(L"--orphaning-client", otherHost);
    ASSERT_TRUE(orphanMaker && otherMaker);
    const std::vector<DWORD> orphans = WaitForHostsOf(GetProcessId(orphanMaker), 1, 20000);
    const std::vector<DWORD> others = WaitForHostsOf(GetProcessId(otherMaker), 1, 20000);
    ASSERT_EQ(orphans.size(), 1u);
    ASSERT_EQ(others.size(), 1u);
    TerminateProcess(orphanMaker, 0);
    TerminateProcess(otherMaker, 0);
    WaitForSingleObject(orphanMaker, 5000);
    WaitForSingleObject(otherMaker, 5000);
    CloseHandle(orphanMaker);
    CloseHandle(otherMaker);
    // A host whose client (this test) lives.
    std::wstring command = L"\"" + EngineFolder() + L"\\MiniThunderPlatform.exe\" --client " +
                           std::to_wstring(GetCurrentProcessId()) + L" --pipe \\\\.\\pipe\\quillmere-helper-test";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION kept{};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                               &startup, &kept));

    HANDLE orphan = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, orphans[0]);
    HANDLE other = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, others[0]);
    ASSERT_TRUE(orphan && other);
    std::wstring helper = L"\"" + EngineFolder() + L"\\MiniTPFw.exe\"";
    PROCESS_INFORMATION run{};
    ASSERT_TRUE(CreateProcessW(nullptr, &helper[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &run));
    EXPECT_EQ(WaitForSingleObject(run.hProcess, 20000), WAIT_OBJECT_0) << "the helper exits by itself";
    CloseHandle(run.hThread);
    CloseHandle(run.hProcess);

    EXPECT_EQ(WaitForSingleObject(orphan, 3000), WAIT_OBJECT_0) << "the orphaned host was ended";
    EXPECT_EQ(WaitForSingleObject(other, 0), WAIT_TIMEOUT) << "a host of another engine folder stays";
    EXPECT_EQ(WaitForSingleObject(kept.hProcess, 0), WAIT_TIMEOUT) << "a host with a live client stays";
    for (HANDLE process : {orphan, other, kept.hProcess}) {
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
    CloseHandle(kept.hThread);
}

namespace {

// Child role: starts the engine and one download, then waits to be killed.
int DownloadingClient(const std::wstring& argument) {
    const std::size_t bar = argument.find(L'|');
    if (!Engine().init || !Engine().init()) return 1;
    const XL_TASK task =
        Engine().createTask(MakeParam({argument.substr(0, bar), argument.substr(bar + 1), L"orphan.mp4"}).get());
    if (!task || !Engine().startTask(task)) return 2;
    Sleep(60000);
    return 0;
}

// Child role: starts a host suspended, so that it can never notice its end, and waits to be killed.
int OrphaningClient(const std::wstring& hostPath) {
    std::wstring command = L"\"" + hostPath + L"\" --client " + std::to_wstring(GetCurrentProcessId()) +
                           L" --pipe \\\\.\\pipe\\quillmere-orphan-" + std::to_wstring(GetCurrentProcessId());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                        &process))
        return 1;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    Sleep(60000);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"--downloading-client") == 0) return DownloadingClient(argv[2]);
    if (argc == 3 && std::wcscmp(argv[1], L"--orphaning-client") == 0) return OrphaningClient(argv[2]);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new EngineEnvironment);
    return RUN_ALL_TESTS();
}
