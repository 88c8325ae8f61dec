// Deploying the engine from the carried archive. This test executable carries
// the same two files as the program (the archiver library and the engine
// archive), so XlEngine::Init works here as it does in Quillmere.exe. Checks
// that need a process in which nothing was loaded yet run in a child: this
// executable again, with one of the DISABLED_ child tests selected.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/globals.h"
#include "app/wide_paths.h"
#include "engine/engine_deployment.h"
#include "program_under_test.h"
#include "test_folders.h"
#include "xldl_double.h"

namespace {

std::wstring Widen(const std::string& gbk) {
    const std::vector<std::uint8_t> wide = GbkToUtf16(gbk);
    return wide.empty() ? std::wstring() : std::wstring(reinterpret_cast<const wchar_t*>(wide.data()));
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string EnvironmentText(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Runs one child test of this executable with the given environment: its exit
// code, or 98 when the child test did not run to its end (a filter that selects
// nothing would otherwise pass).
DWORD RunChild(const char* test, std::vector<std::wstring> environment) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const TestFolder marks("child mark");
    const std::wstring mark = marks.Wide() + L"\\ran";
    environment.push_back(L"QUILLMERE_CHILD_MARK=" + mark);
    ProgramUnderTest child;
    const std::string filter = std::string("--gtest_also_run_disabled_tests --gtest_filter=DeploymentChild.DISABLED_") + test;
    if (!child.Start(self, std::wstring(filter.begin(), filter.end()), environment)) return 99;
    const DWORD code = child.WaitForExit(60000);
    return code == 0 && !Exists(mark) ? 98 : code;
}

// Called last by a child test: tells the parent it ran.
void MarkChildRan() {
    const std::string mark = EnvironmentText("QUILLMERE_CHILD_MARK");
    if (mark.empty()) return;
    HANDLE file = CreateFileW(Widen(mark).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

}  // namespace

TEST(Deployment, FirstInitDeploysBesideTheProgramAndAnotherProcessOnlyInitialises) {
    const TestFolder root("deploy");
    const TestFolder temp("deploy temp");
    std::string basePath = root.Gbk() + "\\视频程序xldld\\";
    const std::string expectedBase = root.Gbk() + "\\视频程序xldld";

    _engine.Construct();
    EXPECT_TRUE(_engine->Init(basePath, true, true, true));
    EXPECT_EQ(basePath, expectedBase) << "the trailing backslash is removed from the caller's text";
    const std::wstring engineFolder = Widen(expectedBase) + L"\\XLDld";
    EXPECT_TRUE(Exists(engineFolder + L"\\MiniThunderPlatform.exe"));
    EXPECT_TRUE(Exists(engineFolder + L"\\xldl.dll"));
    EXPECT_TRUE(Exists(engineFolder + L"\\MiniTPFw.exe"));
    // Read-only, hidden and system are set; Wine keeps no read-only mark on a
    // folder, so only the other two can be read back here.
    const DWORD attributes = GetFileAttributesW(engineFolder.c_str());
    EXPECT_EQ(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_NE(GetModuleHandleW(L"7-zip32.dll"), nullptr) << "deploying binds the archiver";
    wchar_t tempPath[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, tempPath);
    EXPECT_FALSE(Exists(std::wstring(tempPath) + L"download.7z")) << "the temporary archive is gone";
    (void)_engine->Uninit();
    _engine.Destroy();

    // A later run finds the engine deployed: no archive written, archiver never loaded.
    EXPECT_EQ(RunChild("InitOnDeployedEngine", {L"QUILLMERE_DEPLOY_BASE=" + Widen(expectedBase), L"TMP=" + temp.Wide(),
                                                L"TEMP=" + temp.Wide()}),
              0u);
}

TEST(Deployment, WithoutDeployOnlyTheEngineIsInitialised) {
    const TestFolder root("no deploy");
    EXPECT_EQ(RunChild("InitWithoutDeploy", {L"QUILLMERE_DEPLOY_BASE=" + root.Wide() + L"\\程序xldld"}), 0u);
    EXPECT_FALSE(Exists(root.Wide() + L"\\程序xldld")) << "nothing is deployed";
}

TEST(DeploymentChild, DISABLED_InitOnDeployedEngine) {
    std::string basePath = EnvironmentText("QUILLMERE_DEPLOY_BASE");
    ASSERT_FALSE(basePath.empty());
    // The child's environment is UTF-16 on the Windows side; the C runtime gives
    // it in the ANSI code page, which the tests run as 936.
    _engine.Construct();
    EXPECT_TRUE(_engine->Init(basePath, true, true, true));
    EXPECT_EQ(GetModuleHandleW(L"7-zip32.dll"), nullptr);
    wchar_t tempPath[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, tempPath);
    EXPECT_FALSE(Exists(std::wstring(tempPath) + L"download.7z"));
    (void)_engine->Uninit();
    MarkChildRan();
}

TEST(DeploymentChild, DISABLED_InitWithoutDeploy) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring doubleFolder = self;
    doubleFolder = doubleFolder.substr(0, doubleFolder.find_last_of(L'\\')) + L"\\engine-double";
    ASSERT_TRUE(SetDllDirectoryW(doubleFolder.c_str()));
    ASSERT_NE(LoadLibraryW(L"xldl.dll"), nullptr);
    DoubleFunctions engine;
    ASSERT_TRUE(engine.Bind());

    std::string basePath = EnvironmentText("QUILLMERE_DEPLOY_BASE");
    _engine.Construct();
    EXPECT_TRUE(_engine->Init(basePath, false, true, true));
    char calls[256] = {};
    engine.callLog(calls, sizeof calls);
    EXPECT_STREQ(calls, "Init");
    EXPECT_EQ(engine.miniTpPath(nullptr, 0), -1) << "no host path is passed";
    EXPECT_EQ(GetModuleHandleW(L"7-zip32.dll"), nullptr);
    MarkChildRan();
}
