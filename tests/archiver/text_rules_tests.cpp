// The pure text rules of the archiver: its command line, which entry names
// are safe to write, and which entries a pattern selects.
#include <gtest/gtest.h>

#include "archive_error.h"
#include "command_line.h"
#include "entry_path.h"

namespace archiver {
namespace {

TEST(CommandLine, DeploymentCommandIsUnderstood) {
  ExtractCommand c;
  ASSERT_EQ(ParseCommandLine(u"x  \"C:\\Temp\\download.7z\" -hide -y \"C:\\app\\xldld\\\" * -p\"\"", c), kOk);
  EXPECT_TRUE(c.keepPaths);
  EXPECT_EQ(c.archivePath, u"C:\\Temp\\download.7z");
  EXPECT_EQ(c.outputFolder, u"C:\\app\\xldld\\");
  EXPECT_EQ(c.patterns, std::vector<std::u16string>{u"*"});
  EXPECT_TRUE(c.assumeYes);
  EXPECT_TRUE(c.passwordGiven);
  EXPECT_EQ(c.password, u"");
}

TEST(CommandLine, SwitchesInAnyOrderAndQuotedValues) {
  ExtractCommand c;
  ASSERT_EQ(ParseCommandLine(u"E -p\"se cret\" -o\"D:\\out dir\" arc.7z \"b c.txt\" a.txt", c), kOk);
  EXPECT_FALSE(c.keepPaths);
  EXPECT_FALSE(c.assumeYes);
  EXPECT_EQ(c.password, u"se cret");
  EXPECT_EQ(c.outputFolder, u"D:\\out dir");
  EXPECT_EQ(c.archivePath, u"arc.7z");
  EXPECT_EQ(c.patterns, (std::vector<std::u16string>{u"b c.txt", u"a.txt"}));
  // A quoted argument starting with '-' is a name, not a switch.
  ASSERT_EQ(ParseCommandLine(u"x \"-odd.7z\"", c), kOk);
  EXPECT_EQ(c.archivePath, u"-odd.7z");
  EXPECT_EQ(c.outputFolder, u"");
}

TEST(CommandLine, AnythingElseIsACommandError) {
  const char16_t* bad[] = {u"", u"   ", u"a arc.7z", u"l arc.7z", u"x", u"x -y", u"x arc.7z -aoa",
                           u"x \"arc.7z", u"x arc.7z o1\\ o2\\", u"x arc.7z -oA -oB", u"x arc.7z -o",
                           u"x arc.7z \"\""};
  for (const char16_t* text : bad) {
    ExtractCommand c;
    EXPECT_EQ(ParseCommandLine(text, c), kErrorCommand) << std::string(text, text + std::char_traits<char16_t>::length(text));
  }
}

TEST(EntryPath, SafeNamesSplitIntoPieces) {
  struct Case {
    const char16_t* name;
    std::vector<std::u16string> pieces;
  } cases[] = {
      {u"a.txt", {u"a.txt"}},
      {u"dir/sub\\file", {u"dir", u"sub", u"file"}},
      {u"中文目录/视频文件.txt", {u"中文目录", u"视频文件.txt"}},
      {u"..a/a..b", {u"..a", u"a..b"}},
      {u"CONX/COM10/console.txt", {u"CONX", u"COM10", u"console.txt"}},
  };
  for (const auto& c : cases) {
    std::vector<std::u16string> pieces;
    EXPECT_EQ(SplitSafeEntryPath(c.name, pieces), kOk);
    EXPECT_EQ(pieces, c.pieces);
  }
}

TEST(EntryPath, NamesThatCouldEscapeOrMisbehaveAreRefused) {
  const char16_t* unsafe[] = {u"", u"/abs", u"\\abs", u"C:\\x", u"C:x", u"a/../b", u"..", u"..\\evil.txt",
                              u".", u"a/./b", u"a//b", u"a/", u"CON", u"con.txt", u"sub/NUL", u"COM1.log",
                              u"lpt9", u"AUX .txt", u"name.", u"name ", u"file:stream", u"a\x01" u"b", u"a?b",
                              u"a*b", u"a|b", u"a<b", u"a\"b"};
  for (const char16_t* name : unsafe) {
    std::vector<std::u16string> pieces;
    EXPECT_EQ(SplitSafeEntryPath(name, pieces), kErrorUnsafePath)
        << std::string(name, name + std::char_traits<char16_t>::length(name));
  }
}

TEST(EntryPath, PatternsSelectByNameAtAnyDepthOrByPath) {
  struct Case {
    const char16_t* pattern;
    std::vector<std::u16string> pieces;
    bool selected;
  } cases[] = {
      {u"*", {u"a", u"b.bin"}, true},
      {u"*.txt", {u"docs", u"readme.txt"}, true},
      {u"*.txt", {u"docs", u"readme.txt.bak"}, false},
      {u"README.TXT", {u"docs", u"readme.txt"}, true},
      {u"?.txt", {u"a.txt"}, true},
      {u"?.txt", {u"ab.txt"}, false},
      {u"docs", {u"docs", u"deep", u"x.txt"}, true},
      {u"docs\\*.txt", {u"docs", u"readme.txt"}, true},
      {u"docs/*.txt", {u"other", u"readme.txt"}, false},
      {u"bin\\", {u"bin", u"app.exe"}, true},
      {u"*a*b*", {u"xaYbz"}, true},
      {u"*a*b", {u"xaYbz"}, false},
  };
  for (const auto& c : cases) {
    std::u16string p = c.pattern;
    EXPECT_EQ(PatternSelects(c.pattern, c.pieces), c.selected) << std::string(p.begin(), p.end());
  }
}

}  // namespace
}  // namespace archiver
