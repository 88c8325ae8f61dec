// 7-zip32.dll seen from its callers: archives made by 7-Zip with the usual
// settings come out byte for byte, and damaged, hostile or unsupported ones
// fail with their own error code and leave no file under a final name.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "sevenzip32.h"
#include "test_tree.h"

namespace {

struct Notification {
  UINT state;
  ULONGLONG fileSize;
  ULONGLONG writeSize;
  std::string destination;
  std::string method;
};

std::vector<Notification> notifications;
int cancelAtBegin = -1;  // cancel at the first progress of the n-th file (0-based), -1 never

BOOL WINAPI RecordProgress(HWND, UINT, UINT state, LPVOID info) {
  auto* record = static_cast<SevenZipExtractingInfoEx*>(info);
  notifications.push_back({state, record->basic.fileSize, record->basic.writeSize, record->basic.destFileName,
                           record->method});
  int begins = 0;
  for (const auto& n : notifications) begins += n.state == SEVENZIP_STATE_BEGIN;
  return !(state == SEVENZIP_STATE_PROGRESS && begins - 1 == cancelAtBegin);
}

class ArchiverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    notifications.clear();
    cancelAtBegin = -1;
    SevenZipSetOwnerWindowEx(nullptr, RecordProgress);
  }
  void TearDown() override { SevenZipSetOwnerWindowEx(nullptr, nullptr); }
};

// The command exactly as the engine deployment builds it.
std::string DeploymentCommand(const std::wstring& archive, const std::wstring& output) {
  return "x  \"" + ToGbk(archive) + "\" -hide -y \"" + ToGbk(output) + "\" * -p\"\"";
}

int RunCommand(const std::string& command, std::string* report = nullptr) {
  char output[512] = {};
  int code = SevenZip(nullptr, command.c_str(), output, sizeof output);
  if (report) *report = output;
  return code;
}

FILETIME FixtureTime() {
  SYSTEMTIME st = {};
  st.wYear = 2021, st.wMonth = 3, st.wDay = 4, st.wHour = 5, st.wMinute = 6, st.wSecond = 7;
  FILETIME ft;
  SystemTimeToFileTime(&st, &ft);
  return ft;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

size_t FileCount(const Tree& tree) {
  size_t n = 0;
  for (const auto& item : tree) n += !item.second.isFolder;
  return n;
}

// Nothing under a final name that differs from the fixture, and no leftovers.
void ExpectOnlyIntactFiles(const Tree& extracted) {
  Tree expected = ReadTree(FixturePath(L"tree"));
  for (const auto& item : extracted) {
    EXPECT_EQ(item.first.find(L".partial"), std::wstring::npos) << ToGbk(item.first);
    auto it = expected.find(item.first);
    ASSERT_NE(it, expected.end()) << ToGbk(item.first);
    if (!item.second.isFolder) {
      EXPECT_TRUE(item.second.content == it->second.content) << ToGbk(item.first);
    }
  }
}

TEST_F(ArchiverTest, ArchivesOfEverySettingExtractIdentically) {
  const Tree expected = ReadTree(FixturePath(L"tree"));
  ASSERT_GE(FileCount(expected), 9u);
  const FILETIME time = FixtureTime();
  struct Case {
    const wchar_t* archive;
    const char* methodSeen;  // a coder this archive must have used
  } cases[] = {
      {L"default.7z", "BCJ"},  {L"mx0.7z", "Copy"},     {L"mx9.7z", "BCJ2"},
      {L"lzma.7z", "LZMA"},    {L"nonsolid.7z", "LZMA2"}, {L"plainheader.7z", "LZMA2"},
      {L"smalldict2.7z", "LZMA2"}, {L"smalldict1.7z", "LZMA"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ToGbk(c.archive));
    notifications.clear();
    std::wstring out = FreshFolder(std::wstring(L"all_") + c.archive);
    std::string report;
    ASSERT_EQ(RunCommand(DeploymentCommand(FixturePath(c.archive), out), &report), SEVENZIP_OK) << report;
    Tree extracted = ReadTree(out);
    ASSERT_EQ(extracted.size(), expected.size());
    for (const auto& item : expected) {
      SCOPED_TRACE(ToGbk(item.first));
      auto it = extracted.find(item.first);
      ASSERT_NE(it, extracted.end());
      EXPECT_EQ(it->second.isFolder, item.second.isFolder);
      EXPECT_TRUE(it->second.content == item.second.content);
      EXPECT_TRUE(SameTime(it->second.modified, time));
    }
    EXPECT_TRUE(extracted.at(L"readonly.txt").attributes & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(extracted.at(L"docs\\readme.txt").attributes & FILE_ATTRIBUTE_READONLY);
    bool seen = false;
    for (const auto& n : notifications) seen = seen || n.method.find(c.methodSeen) != std::string::npos;
    EXPECT_TRUE(seen) << "no block used " << c.methodSeen;
  }
}

TEST_F(ArchiverTest, ProgressReportsEveryFileAndEndsOnce) {
  std::wstring out = FreshFolder(L"progress_输出");
  ASSERT_EQ(RunCommand(DeploymentCommand(FixturePath(L"default.7z"), out)), SEVENZIP_OK);
  size_t files = FileCount(ReadTree(FixturePath(L"tree")));
  ASSERT_FALSE(notifications.empty());
  EXPECT_EQ(notifications.back().state, UINT(SEVENZIP_STATE_END));
  size_t begins = 0, ends = 0;
  for (size_t i = 0; i < notifications.size(); ++i) {
    const Notification& n = notifications[i];
    ends += n.state == SEVENZIP_STATE_END;
    if (n.state != SEVENZIP_STATE_BEGIN) continue;
    ++begins;
    EXPECT_EQ(n.writeSize, 0u);
    EXPECT_EQ(n.destination.compare(0, ToGbk(out).size(), ToGbk(out)), 0) << n.destination;
    // Progress of this file climbs to its size before the next file begins.
    ULONGLONG last = 0;
    size_t k = i + 1;
    for (; k < notifications.size() && notifications[k].state == SEVENZIP_STATE_PROGRESS; ++k) {
      EXPECT_GT(notifications[k].writeSize, last);
      last = notifications[k].writeSize;
    }
    EXPECT_EQ(last, n.fileSize) << n.destination;
  }
  EXPECT_EQ(begins, files);
  EXPECT_EQ(ends, 1u);
  bool chinese = false;
  for (const auto& n : notifications)
    chinese = chinese || n.destination == ToGbk(out + L"中文目录\\视频文件.txt");
  EXPECT_TRUE(chinese);
}

TEST_F(ArchiverTest, ExtractWithoutPathsFlattens) {
  std::wstring out = FreshFolder(L"flatten");
  ASSERT_EQ(RunCommand("e \"" + ToGbk(FixturePath(L"nonsolid.7z")) + "\" -y -o\"" + ToGbk(out) + "\""), SEVENZIP_OK);
  Tree extracted = ReadTree(out);
  Tree expected = ReadTree(FixturePath(L"tree"));
  EXPECT_EQ(extracted.size(), FileCount(expected));
  for (const auto& item : extracted) EXPECT_FALSE(item.second.isFolder) << ToGbk(item.first);
  EXPECT_TRUE(extracted.at(L"notes.txt").content == expected.at(L"docs\\深层\\notes.txt").content);
  EXPECT_TRUE(extracted.at(L"视频文件.txt").content == expected.at(L"中文目录\\视频文件.txt").content);
}

TEST_F(ArchiverTest, PatternsSelectOnlyMatchingEntries) {
  struct Case {
    const char* patterns;
    std::vector<std::wstring> files;
  } cases[] = {
      {"*.txt", {L"docs\\readme.txt", L"docs\\深层\\notes.txt", L"empty.txt", L"readonly.txt", L"中文目录\\视频文件.txt"}},
      {"bin\\*.dll", {L"bin\\advpack.dll", L"bin\\cabinet.dll"}},
      {"\"NOTEPAD.EXE\" random.bin", {L"bin\\notepad.exe", L"random.bin"}},
      {"docs", {L"docs\\readme.txt", L"docs\\深层\\notes.txt"}},
  };
  Tree expected = ReadTree(FixturePath(L"tree"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.patterns);
    std::wstring out = FreshFolder(L"pattern");
    ASSERT_EQ(RunCommand("x \"" + ToGbk(FixturePath(L"default.7z")) + "\" \"" + ToGbk(out) + "\" " + c.patterns),
              SEVENZIP_OK);
    Tree extracted = ReadTree(out);
    std::vector<std::wstring> files;
    for (const auto& item : extracted)
      if (!item.second.isFolder) files.push_back(item.first);
    EXPECT_EQ(files, c.files);
    for (const auto& f : files) EXPECT_TRUE(extracted.at(f).content == expected.at(f).content);
  }
}

TEST_F(ArchiverTest, ExistingFilesNeedYesToBeOverwritten) {
  std::wstring out = FreshFolder(L"overwrite");
  std::string archive = ToGbk(FixturePath(L"lzma.7z"));
  ASSERT_EQ(RunCommand("x \"" + archive + "\" \"" + ToGbk(out) + "\""), SEVENZIP_OK);
  WriteWholeFile(out + L"docs\\readme.txt", "changed by the user");

  EXPECT_EQ(RunCommand("x \"" + archive + "\" \"" + ToGbk(out) + "\""), SEVENZIP_ERROR_FILE_EXISTS);
  EXPECT_EQ(ReadWholeFile(out + L"docs\\readme.txt"), "changed by the user");

  ASSERT_EQ(RunCommand("x \"" + archive + "\" \"" + ToGbk(out) + "\" -y"), SEVENZIP_OK);  // also over the read-only file
  EXPECT_TRUE(ReadWholeFile(out + L"docs\\readme.txt") == ReadWholeFile(FixturePath(L"tree\\docs\\readme.txt")));
}

TEST_F(ArchiverTest, BrokenOrUnsupportedArchivesFailCleanly) {
  struct Case {
    const wchar_t* archive;
    int code;
    bool mayWriteIntactFiles;  // data errors surface only when the block is reached
  } cases[] = {
      {L"corrupt.7z", SEVENZIP_ERROR_CRC, true},
      {L"truncated.7z", SEVENZIP_ERROR_HEADER, false},
      {L"ppmd.7z", SEVENZIP_ERROR_UNSUPPORTED, false},
      {L"encrypted.7z", SEVENZIP_ERROR_UNSUPPORTED, false},
      {L"notarchive.7z", SEVENZIP_ERROR_NOT_7Z, false},
      {L"missing.7z", SEVENZIP_ERROR_ARCHIVE_OPEN, false},
      {L"hugeheader.7z", SEVENZIP_ERROR_LIMIT, false},
      {L"hugecount.7z", SEVENZIP_ERROR_HEADER, false},
      {L"hugedictionary.7z", SEVENZIP_ERROR_LIMIT, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ToGbk(c.archive));
    notifications.clear();
    std::wstring out = FreshFolder(L"broken");
    std::string report;
    EXPECT_EQ(RunCommand(DeploymentCommand(FixturePath(c.archive), out), &report), c.code);
    EXPECT_EQ(report.compare(0, 6, "Error:"), 0) << report;
    Tree extracted = ReadTree(out);
    if (c.mayWriteIntactFiles) {
      ExpectOnlyIntactFiles(extracted);
      EXPECT_LT(FileCount(extracted), FileCount(ReadTree(FixturePath(L"tree"))));
    } else {
      EXPECT_TRUE(extracted.empty());
    }
    for (const auto& n : notifications) EXPECT_NE(n.state, UINT(SEVENZIP_STATE_END));
  }
}

TEST_F(ArchiverTest, EntriesLeavingTheOutputFolderAreRefused) {
  const wchar_t* archives[] = {L"dotdot.7z", L"drive.7z", L"rooted.7z", L"device.7z"};
  std::wstring parent = FreshFolder(L"unsafe");
  for (const wchar_t* archive : archives) {
    SCOPED_TRACE(ToGbk(archive));
    std::wstring out = parent + L"inner\\";
    std::string report;
    EXPECT_EQ(RunCommand(DeploymentCommand(FixturePath(archive), out), &report), SEVENZIP_ERROR_UNSAFE_PATH);
    EXPECT_EQ(report.compare(0, 6, "Error:"), 0) << report;
    Tree written = ReadTree(parent);
    for (const auto& item : written) EXPECT_TRUE(item.second.isFolder) << ToGbk(item.first);
  }
  EXPECT_EQ(GetFileAttributesW(L"C:\\evil.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(FixturePath(L"out\\evil.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ArchiverTest, StoredAttributesAreApplied) {
  std::wstring out = FreshFolder(L"attributes");
  ASSERT_EQ(RunCommand(DeploymentCommand(FixturePath(L"hidden.7z"), out)), SEVENZIP_OK);
  DWORD attributes = GetFileAttributesW((out + L"hidden.txt").c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(attributes & 0x27, DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(ReadWholeFile(out + L"hidden.txt"), "secret");
}

TEST_F(ArchiverTest, CancelFromTheCallbackStopsWithoutPartialFiles) {
  std::wstring out = FreshFolder(L"cancel");
  cancelAtBegin = 2;
  EXPECT_EQ(RunCommand(DeploymentCommand(FixturePath(L"nonsolid.7z"), out)), SEVENZIP_ERROR_CANCELLED);
  Tree extracted = ReadTree(out);
  ExpectOnlyIntactFiles(extracted);
  std::string cancelled;
  int begins = 0;
  for (const auto& n : notifications) {
    if (n.state == SEVENZIP_STATE_BEGIN && begins++ == cancelAtBegin) cancelled = n.destination;
    EXPECT_NE(n.state, UINT(SEVENZIP_STATE_END));
  }
  ASSERT_FALSE(cancelled.empty());
  EXPECT_EQ(GetFileAttributesA(cancelled.c_str()), INVALID_FILE_ATTRIBUTES) << cancelled;
  EXPECT_EQ(begins, cancelAtBegin + 1);  // nothing after the cancel
}

TEST_F(ArchiverTest, CommandsOutsideTheSupportedFormAreRefused) {
  std::string archive = "\"" + ToGbk(FixturePath(L"default.7z")) + "\"";
  std::wstring out = FreshFolder(L"commands");
  const std::string commands[] = {
      "",  "a " + archive,  "x",  "x " + archive + " -r",  "x \"" + ToGbk(FixturePath(L"default.7z")),
      "x " + archive + " out1\\ out2\\",  "x " + archive + " -o",  "t " + archive,
  };
  for (const auto& command : commands) {
    SCOPED_TRACE(command);
    EXPECT_EQ(RunCommand(command), SEVENZIP_ERROR_COMMAND);
  }
  EXPECT_EQ(SevenZip(nullptr, nullptr, nullptr, 0), SEVENZIP_ERROR_COMMAND);
  EXPECT_TRUE(ReadTree(out).empty());
}

TEST_F(ArchiverTest, OutputTextRespectsItsSize) {
  std::wstring out = FreshFolder(L"output");
  std::string command = DeploymentCommand(FixturePath(L"hidden.7z"), out);
  char buffer[16];
  memset(buffer, 'Q', sizeof buffer);
  ASSERT_EQ(SevenZip(nullptr, command.c_str(), buffer, 0), SEVENZIP_OK);
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 'Q'));

  ASSERT_EQ(SevenZip(nullptr, command.c_str(), buffer, 8), SEVENZIP_OK);
  EXPECT_EQ(strlen(buffer), 7u);
  EXPECT_EQ(buffer[8], 'Q');
}

}  // namespace
