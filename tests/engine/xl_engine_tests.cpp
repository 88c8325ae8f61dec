// The adapter over the engine, against the scriptable double: the records it
// builds, the values it reads back, and its two text tables.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "engine/xl_engine.h"
#include "xldl_double.h"

namespace {

std::wstring OwnFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

// Loads the double as xldl.dll, as the adapter's first call would, and binds
// its script functions.
DoubleFunctions& Double() {
    static DoubleFunctions functions = [] {
        SetDllDirectoryW((OwnFolder() + L"\\engine-double").c_str());
        LoadLibraryW(L"xldl.dll");
        DoubleFunctions bound{};
        if (!bound.Bind()) ADD_FAILURE() << "the engine double is not loaded";
        return bound;
    }();
    return functions;
}

std::unique_ptr<DownTaskParam> LatestParam() {
    auto param = std::make_unique<DownTaskParam>();
    std::memset(param.get(), 0xCC, sizeof *param);
    const int count = Double().paramCount();
    EXPECT_TRUE(count > 0 && Double().param(count - 1, param.get())) << "the engine received no record";
    return param;
}

bool AllZero(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

class XlEngineTest : public ::testing::Test {
protected:
    void SetUp() override { Double().reset(); }
    XlEngine engine;
};

// GBK bytes, as the program holds its texts (this source is compiled to GBK).
const std::string kChineseName = "1_视频号测试.mp4";
const wchar_t kChineseNameWide[] = L"1_视频号测试.mp4";

}  // namespace

TEST_F(XlEngineTest, DispatcherRecordCarriesItsTextsAndFlagsAndNothingElse) {
    const TaskHandle task = engine.CreateTask("https://127.0.0.1:18550/files/a?x=1&y=2", std::nullopt, std::nullopt,
                                              "7_abcde.mp4", "C:\\程序\\video\\", 1, 0, 0);
    EXPECT_EQ(task, 1u) << "the engine's handle comes back unchanged";
    const auto sent = LatestParam();

    // The expected record, built field by field from all bytes zero.
    auto expected = std::make_unique<DownTaskParam>();
    std::memset(expected.get(), 0, sizeof *expected);
    expected->nReserved1 = 5;
    std::wcscpy(expected->szTaskUrl, L"https://127.0.0.1:18550/files/a?x=1&y=2");
    std::wcscpy(expected->szFilename, L"7_abcde.mp4");
    std::wcscpy(expected->szSavePath, L"C:\\程序\\video\\");
    expected->IsOnlyOriginal = 1;
    EXPECT_EQ(std::memcmp(sent.get(), expected.get(), sizeof(DownTaskParam)), 0)
        << "every byte outside the named fields is zero";
    EXPECT_TRUE(AllZero(sent->szRefUrl, sizeof sent->szRefUrl));
    EXPECT_TRUE(AllZero(sent->szCookies, sizeof sent->szCookies));
}

TEST_F(XlEngineTest, FlagsAreSetOnlyByExactlyOne) {
    struct Case {
        std::optional<int> originOnly, disableAutoRename;
        int resume;
        int32_t isOnlyOriginal, disableAutoRenameField, isResume;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, 0, 0, 0, 0},
        {1, 1, 1, 1, 1, 1},
        {2, 2, 2, 0, 0, 0},
        {-1, 0, -1, 0, 0, 0},
        {0, 1, 0, 0, 1, 0},
        {0, 0, 1, 0, 0, 1},
    };
    for (const Case& c : cases) {
        engine.CreateTask("http://h/x", std::nullopt, std::nullopt, "f.mp4", "C:\\v", c.originOnly,
                          c.disableAutoRename, c.resume);
        const auto sent = LatestParam();
        EXPECT_EQ(sent->nReserved1, 5);
        EXPECT_EQ(sent->IsOnlyOriginal, c.isOnlyOriginal) << "originOnly " << c.originOnly.value_or(-99);
        EXPECT_EQ(sent->DisableAutoRename, c.disableAutoRenameField) << "disableAutoRename "
                                                                     << c.disableAutoRename.value_or(-99);
        EXPECT_EQ(sent->IsResume, c.isResume) << "resume " << c.resume;
    }
}

TEST_F(XlEngineTest, GivenRefererAndCookiesAreCopiedAndEmptyOnesLeaveZero) {
    engine.CreateTask("http://h/x", std::string("https://channels.weixin.qq.com/"), std::string("a=1; 名=值"),
                      "f.mp4", "C:\\v", std::nullopt, std::nullopt, 0);
    auto sent = LatestParam();
    EXPECT_STREQ(sent->szRefUrl, L"https://channels.weixin.qq.com/");
    EXPECT_STREQ(sent->szCookies, L"a=1; 名=值");

    engine.CreateTask("http://h/x", std::string(), std::string(), "f.mp4", "C:\\v", std::nullopt, std::nullopt, 0);
    sent = LatestParam();
    EXPECT_TRUE(AllZero(sent->szRefUrl, sizeof sent->szRefUrl));
    EXPECT_TRUE(AllZero(sent->szCookies, sizeof sent->szCookies));
}

TEST_F(XlEngineTest, OverlongTextIsCutAtItsFieldWithoutTouchingTheNext) {
    const std::string url = "http://h/" + std::string(XL_URL_FIELD_LENGTH, 'u');
    engine.CreateTask(url, std::nullopt, std::string(XL_COOKIES_FIELD_LENGTH + 10, 'c'),
                      std::string(XL_PATH_FIELD_LENGTH + 1, 'n'), "C:\\v", std::nullopt, std::nullopt, 0);
    const auto sent = LatestParam();
    EXPECT_EQ(sent->szTaskUrl[XL_URL_FIELD_LENGTH - 1], L'u') << "no NUL within the field: the engine refuses it";
    EXPECT_TRUE(AllZero(sent->szRefUrl, sizeof sent->szRefUrl));
    EXPECT_EQ(sent->szCookies[XL_COOKIES_FIELD_LENGTH - 1], L'c');
    EXPECT_EQ(sent->szFilename[XL_PATH_FIELD_LENGTH - 1], L'n');
    EXPECT_STREQ(sent->szSavePath, L"C:\\v");
}

TEST_F(XlEngineTest, WideBytesIsTheCodePage936FormWithItsNul) {
    EXPECT_EQ(engine.WideBytes(""), std::vector<std::uint8_t>({0, 0}));
    const std::vector<std::uint8_t> wide = engine.WideBytes(kChineseName);
    ASSERT_EQ(wide.size(), sizeof kChineseNameWide);
    EXPECT_EQ(std::memcmp(wide.data(), kChineseNameWide, wide.size()), 0);
}

std::string UnixPath(const std::wstring& path) {
    using ToUnix = char*(__cdecl*)(const wchar_t*);
    auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unix = toUnix ? toUnix(path.c_str()) : nullptr;
    if (!unix) return std::string();
    std::string result = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

// A Chinese file name must arrive as the same characters whatever the system's
// code page. Wine takes a process's ANSI code page from the Linux locale it
// starts under, so the child is started from the Linux side under a UTF-8
// locale (code page 65001), where an ANSI conversion of the GBK bytes would
// give other characters; it writes its verdict into a file.
TEST_F(XlEngineTest, ChineseFileNameIsConvertedFromGbkUnderAnotherCodePage) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring verdict = std::wstring(temp) + L"engine_tests-child-" + std::to_wstring(GetCurrentProcessId());
    DeleteFileW(verdict.c_str());
    const char* loader = std::getenv("WINELOADER");
    ASSERT_TRUE(loader && *loader) << "the tests run under Wine with WINELOADER set";
    const std::string command = std::string("/usr/bin/env LANG=en_US.UTF-8 LC_ALL= WINEDEBUG=-all ") + loader + " \"" +
                                UnixPath(self) + "\" --chinese-name-child \"" + UnixPath(verdict) + "\"";
    std::wstring wideCommand(command.begin(), command.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, &wideCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
    if (process.hThread) CloseHandle(process.hThread);
    if (process.hProcess) CloseHandle(process.hProcess);
    std::string result;
    for (int i = 0; i < 600 && result.empty(); ++i) {
        Sleep(100);
        HANDLE file = CreateFileW(verdict.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        char buffer[8] = {};
        DWORD read = 0;
        ReadFile(file, buffer, sizeof buffer - 1, &read, nullptr);
        CloseHandle(file);
        result.assign(buffer, read);
    }
    DeleteFileW(verdict.c_str());
    ASSERT_FALSE(result.empty()) << "the child gave no verdict";
    EXPECT_NE(result, "2") << "the child ran under code page 936 and shows nothing";
    EXPECT_EQ(result, "0") << "the file name reached the engine changed";
}

TEST_F(XlEngineTest, GettersReadTheirOwnFieldsOfTheEnginesRecord) {
    const TaskHandle task = engine.CreateTask("http://h/x", std::nullopt, std::nullopt, "f", "C:\\v", 1, 0, 0);
    DownTaskInfo info{};
    info.stat = 3;
    info.fail_code = 0x40;
    info.nTotalSize = 0x123456789LL;
    info.nTotalDownload = 0x23456789ALL;
    info.fPercent = 0.25f;
    info.nSrcTotal = 11;
    info.nSrcUsing = 12;
    info.nDonationP2P = 13;
    info.nDonationOrgin = 0x500000000LL;
    info.nDonationP2S = 15;
    info.nSpeed = 16;
    info.nSpeedP2S = 17;
    info.nSpeedP2P = 18;
    info.bIsOriginUsable = 1;
    info.IsCreatingFile = 1;
    ASSERT_TRUE(Double().setInfo(static_cast<XL_TASK>(task), &info));

    EXPECT_EQ(engine.QueryStatusText(task), "DOWNLOAD");
    EXPECT_EQ(engine.QueryErrorText(task), "任务超时");
    EXPECT_EQ(engine.QueryTotalSize(task), 0x123456789LL);
    EXPECT_EQ(engine.QueryDownloaded(task), 0x23456789ALL);
    EXPECT_EQ(engine.QueryPercent(task), 0.25f);
    EXPECT_EQ(engine.QuerySourceCount(task), 11);
    EXPECT_EQ(engine.QuerySourcesInUse(task), 12);
    EXPECT_EQ(engine.QueryP2pBytes(task), 13);
    EXPECT_EQ(engine.QueryOriginBytes(task), 0x500000000LL);
    EXPECT_EQ(engine.QueryP2sBytes(task), 15);
    EXPECT_EQ(engine.QuerySpeed(task), 16);
    EXPECT_EQ(engine.QueryP2sSpeed(task), 17);
    EXPECT_EQ(engine.QueryP2pSpeed(task), 18);
    EXPECT_TRUE(engine.QueryOriginUsable(task));
    EXPECT_TRUE(engine.QueryCreatingFile(task));
    EXPECT_EQ(Double().queryCount(static_cast<XL_TASK>(task)), 15) << "every getter asks the engine anew";
}

TEST_F(XlEngineTest, GettersOnAnUnknownOrUnanswerableTaskGiveEmptyAndZero) {
    const TaskHandle known = engine.CreateTask("http://h/x", std::nullopt, std::nullopt, "f", "C:\\v", 1, 0, 0);
    DownTaskInfo info{};
    info.stat = 4;
    info.fail_code = 1;
    info.nTotalSize = info.nTotalDownload = info.nDonationOrgin = 99;
    info.fPercent = 1.0f;
    info.nSrcTotal = info.nSrcUsing = info.nSpeed = 7;
    info.bIsOriginUsable = info.IsCreatingFile = 1;
    ASSERT_TRUE(Double().setInfo(static_cast<XL_TASK>(known), &info));
    ASSERT_TRUE(Double().setQueryFails(static_cast<XL_TASK>(known), TRUE));

    for (const TaskHandle task : {known, TaskHandle{4242}}) {
        EXPECT_EQ(engine.QueryStatusText(task), "") << task;
        EXPECT_EQ(engine.QueryErrorText(task), "") << task;
        EXPECT_EQ(engine.QueryTotalSize(task), 0) << task;
        EXPECT_EQ(engine.QueryDownloaded(task), 0) << task;
        EXPECT_EQ(engine.QueryPercent(task), 0.0f) << task;
        EXPECT_EQ(engine.QuerySourceCount(task), 0) << task;
        EXPECT_EQ(engine.QuerySourcesInUse(task), 0) << task;
        EXPECT_EQ(engine.QueryOriginBytes(task), 0) << task;
        EXPECT_EQ(engine.QuerySpeed(task), 0) << task;
        EXPECT_FALSE(engine.QueryOriginUsable(task)) << task;
        EXPECT_FALSE(engine.QueryCreatingFile(task)) << task;
    }
}

TEST_F(XlEngineTest, TaskOperationsPassTheHandleAndTheEnginesResult) {
    Double().failNextCreate(1);
    EXPECT_EQ(engine.CreateTask("http://h/x", std::nullopt, std::nullopt, "f", "C:\\v", 1, 0, 0), 0u);
    const TaskHandle task = engine.CreateTask("http://h/x", std::nullopt, std::nullopt, "f", "C:\\v", 1, 0, 0);
    ASSERT_NE(task, 0u);
    Double().failNextStart(1);
    EXPECT_FALSE(engine.StartTask(task));
    EXPECT_TRUE(engine.StartTask(task));
    EXPECT_EQ(Double().startCount(static_cast<XL_TASK>(task)), 2);
    EXPECT_EQ(engine.QueryStatusText(task), "DOWNLOAD");
    EXPECT_TRUE(engine.StopTask(task));
    EXPECT_TRUE(engine.ForceStopTask(task));
    EXPECT_FALSE(engine.StartTask(task + 100));
    EXPECT_TRUE(engine.DeleteTask(task));
    EXPECT_FALSE(engine.DeleteTask(task));
    EXPECT_FALSE(engine.StopTask(task));
    engine.SetUploadSpeedLimit(10, 20);
    EXPECT_TRUE(engine.Uninit());
    EXPECT_EQ(Double().uninitCount(), 1);
    char log[512];
    Double().callLog(log, sizeof log);
    EXPECT_STREQ(log,
                 "CreateTask CreateTask StartTask StartTask StopTask ForceStopTask StartTask DeleteTask DeleteTask "
                 "StopTask SetUploadSpeedLimit UnInit");
}

TEST(XlEngineTexts, ErrorTextCoversTheEnginesFailureCodes) {
    const XlEngine engine;
    const std::pair<int, const char*> cases[] = {
        {0, "未知错误"},       {1, "创建文件失败"},       {2, "写文件失败"},
        {3, "读文件失败"},     {4, "重命名失败"},         {5, "文件片校验失败"},
        {6, "文件全文校验失败"}, {7, "删除文件失败失败"},  {16, "无效的DOWN地址"},
        {32, "代理类型未知"},  {33, "代理认证失败"},      {48, "http下载中无ip可用"},
        {64, "任务超时"},      {65, "任务取消"},          {66, "MINITP崩溃"},
        {67, "TaskId 非法"},   {8, ""},                   {15, ""},
        {17, ""},              {31, ""},                  {34, ""},
        {47, ""},              {49, ""},                  {63, ""},
        {68, ""},              {-1, ""},                  {0x7fffffff, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(engine.ErrorText(c.first), c.second) << "code " << c.first;
}

TEST(XlEngineTexts, StatusTextCoversTheEnginesTaskStates) {
    const XlEngine engine;
    const std::pair<int, const char*> cases[] = {
        {0, "NOITEM"},   {1, "ERROR"},         {2, "PAUSE"},         {3, "DOWNLOAD"}, {4, "COMPLETE"},
        {5, "STARTPENDING"}, {6, "STOPPENDING"}, {7, ""},            {-1, ""},        {100, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(engine.StatusText(c.first), c.second) << "state " << c.first;
}

namespace {

// The child of ChineseFileNameIsConvertedFromGbkUnderAnotherCodePage: "0"
// when the engine received the name unchanged, "1" when not, "2" when the code
// page is 936 (so the case shows nothing).
const char* ChineseNameVerdict() {
    if (GetACP() == 936) return "2";
    Double().reset();
    XlEngine engine;
    engine.CreateTask("http://h/x", std::nullopt, std::nullopt, kChineseName, "C:\\v", 1, 0, 0);
    auto sent = std::make_unique<DownTaskParam>();
    if (Double().paramCount() != 1 || !Double().param(0, sent.get())) return "1";
    return std::wcscmp(sent->szFilename, kChineseNameWide) == 0 ? "0" : "1";
}

int ChineseNameChild(const char* verdictPath) {
    const char* verdict = ChineseNameVerdict();
    HANDLE file = CreateFileA(verdictPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    WriteFile(file, verdict, 1, &written, nullptr);
    CloseHandle(file);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--chinese-name-child") == 0) return ChineseNameChild(argv[2]);
    ::testing::InitGoogleTest(&argc, argv);
    Double();
    return RUN_ALL_TESTS();
}
