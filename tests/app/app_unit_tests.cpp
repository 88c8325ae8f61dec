// The shell's text and folder rules, in-process.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/status_line.h"
#include "app/wide_paths.h"
#include "test_folders.h"

TEST(StatusLine, PrefixesDayAndTimeWithTwoDigitsEach) {
    struct Case {
        int day, hour, minute, second;
        const char* message;
        const char* expected;
    };
    const Case cases[] = {
        {5, 9, 3, 7, "abc", "05-09:03:07 abc"},
        {7, 9, 5, 3, "x", "07-09:05:03 x"},
        {31, 23, 59, 59, "链接复制成功，去粘贴吧！", "31-23:59:59 链接复制成功，去粘贴吧！"},
        {1, 0, 0, 0, "", "01-00:00:00 "},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StatusLineText(c.message, c.day, c.hour, c.minute, c.second), c.expected) << c.expected;
}

TEST(WidePaths, ConvertsGbkWithItsTerminator) {
    EXPECT_TRUE(GbkToUtf16("").empty());
    const std::vector<std::uint8_t> wide = GbkToUtf16("视频a");
    ASSERT_EQ(wide.size(), 8u);  // three units and the NUL
    const auto* units = reinterpret_cast<const wchar_t*>(wide.data());
    EXPECT_EQ(std::wstring(units), L"视频a");
    EXPECT_EQ(units[3], L'\0');
}

TEST(WidePaths, EmptyAndTinyPathsCreateNothing) {
    EXPECT_FALSE(IsExistingFolder(""));
    EXPECT_FALSE(CreateFolderPath(""));
    EXPECT_FALSE(CreateFolderPath("Q:"));
    EXPECT_FALSE(IsExistingFolder("Q:"));
}

TEST(WidePaths, CreatesEveryMissingParentOfAChinesePath) {
    const TestFolder root("wide paths");
    const std::string path = root.Gbk() + "\\视频号\\下载\\video";
    ASSERT_FALSE(IsExistingFolder(path));
    EXPECT_TRUE(CreateFolderPath(path));
    EXPECT_TRUE(IsExistingFolder(root.Gbk() + "\\视频号\\下载"));
    EXPECT_TRUE(IsExistingFolder(path));
    EXPECT_TRUE(CreateFolderPath(path)) << "an existing path is still a success";
    EXPECT_TRUE(CreateFolderPath(root.Gbk() + "\\尾\\")) << "a trailing backslash creates the folder once";
    EXPECT_TRUE(IsExistingFolder(root.Gbk() + "\\尾"));
}

TEST(WidePaths, AFileIsNotAFolder) {
    const TestFolder root("file not folder");
    const std::string file = root.Gbk() + "\\文件";
    const std::vector<std::uint8_t> wide = GbkToUtf16(file);
    HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t*>(wide.data()), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    CloseHandle(handle);
    EXPECT_FALSE(IsExistingFolder(file));
    EXPECT_FALSE(CreateFolderPath(file + "\\below"));
}
