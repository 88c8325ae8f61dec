// The extraction module's rules: the archiver command text, the folder chain,
// the progress hook and the message-pumping wait.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/wide_paths.h"
#include "engine/engine_deployment.h"
#include "sevenzip32.h"
#include "test_folders.h"

TEST(ExtractCommand, NamesArchiveFolderFilesAndPasswordAsTheArchiverExpects) {
    struct Case {
        const char* archive;
        const char* folder;
        bool withoutPaths;
        const char* password;
        const char* files;
        const char* expected;
    };
    const Case cases[] = {
        {"C:\\t\\download.7z", "D:\\tools\\grabxldld", false, "", "",
         "x  \"C:\\t\\download.7z\" -hide -y \"D:\\tools\\grabxldld\\\" * -p\"\""},
        {"a.7z", "D:\\out\\", false, "", "", "x  \"a.7z\" -hide -y \"D:\\out\\\" * -p\"\""},
        {"a.7z", "D:\\out", true, "", "", "e  \"a.7z\" -hide -y \"D:\\out\\\" * -p\"\""},
        {"a.7z", "D:\\out", false, "", "one.txt,two.dll",
         "x  \"a.7z\" -hide -y \"D:\\out\\\" \"one.txt\" \"two.dll\"  -p\"\""},
        {"a.7z", "D:\\out", false, "秘密", "", "x  \"a.7z\" -hide -y \"D:\\out\\\" * -p\"秘密\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExtractCommand(c.archive, c.folder, c.withoutPaths, c.password, c.files), c.expected) << c.expected;
}

TEST(MakeFolderChain, RefusesWhatIsNotADrivePathAndCreatesOnlyWhatIsMissing) {
    EXPECT_FALSE(MakeFolderChain("C:"));
    EXPECT_FALSE(MakeFolderChain("\\\\server\\share\\x"));
    EXPECT_FALSE(MakeFolderChain("relative\\folder"));
    const TestFolder root("folder chain");
    const std::string base = root.Gbk();
    ASSERT_EQ(base[1], ':') << "the temporary folder is on a drive";
    EXPECT_FALSE(MakeFolderChain(base + "\\a\\..\\b"));
    EXPECT_FALSE(MakeFolderChain(base + "\\a\\\\b"));

    ASSERT_TRUE(CreateFolderPath(base + "\\甲"));
    EXPECT_TRUE(MakeFolderChain(base + "\\甲\\乙"));
    EXPECT_TRUE(IsExistingFolder(base + "\\甲\\乙"));
    EXPECT_TRUE(MakeFolderChain(base + "\\甲\\乙")) << "an existing chain is a success";
}

namespace {

std::vector<std::pair<std::string, int>> progressCalls;
void RecordProgress(const std::string& name, int percent) { progressCalls.emplace_back(name, percent); }

}  // namespace

TEST(ArchiverProgressHook, PassesPercentagesAndTheEndToTheHandler) {
    CreateExtractionState();
    progressCalls.clear();
    // Registering the handler needs a run; a run over a missing archive fails
    // quickly but leaves the handler in place for the hook, as a real run would.
    const TestFolder root("hook");
    (void)ExtractArchive(root.Gbk() + "\\missing.7z", root.Gbk() + "\\out", std::nullopt, std::nullopt, RecordProgress);

    SevenZipExtractingInfoEx info = {};
    info.basic.fileSize = 400;
    info.basic.writeSize = 299;
    lstrcpyA(info.basic.destFileName, "C:\\somewhere\\file.bin");
    EXPECT_TRUE(ArchiverProgressHook(nullptr, 0, SEVENZIP_STATE_PROGRESS, &info));
    EXPECT_TRUE(ArchiverProgressHook(nullptr, 0, SEVENZIP_STATE_END, &info));
    ASSERT_EQ(progressCalls.size(), 2u);
    EXPECT_EQ(progressCalls[0], std::make_pair(std::string("C:\\somewhere\\file.bin"), 74));
    EXPECT_EQ(progressCalls[1], std::make_pair(std::string(), 100));
    FreeExtractionState();
}

namespace {

bool timerDelivered = false;
void CALLBACK MarkTimer(HWND, UINT, UINT_PTR, DWORD) { timerDelivered = true; }

}  // namespace

TEST(WaitWithMessages, WaitsItsTimeWhileDeliveringMessages) {
    CreateExtractionState();
    timerDelivered = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, MarkTimer);
    const DWORD start = GetTickCount();
    WaitWithMessages(400);
    const DWORD elapsed = GetTickCount() - start;
    KillTimer(nullptr, timer);
    EXPECT_GE(elapsed, 380u);
    EXPECT_LT(elapsed, 3000u);
    EXPECT_TRUE(timerDelivered) << "the thread's timer message was dispatched during the wait";
    FreeExtractionState();
}
