// The container reader and its decoders, natively under the sanitizers: real
// archives made by 7zz (see make_archives.sh) decode to the files packed, and
// damaged copies end in a result code, never in a wrong file taken as good.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "archive_error.h"
#include "archive_in_memory.h"
#include "crc32.h"

namespace {

using Files = std::map<std::u16string, std::vector<uint8_t>>;

std::vector<uint8_t> Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Fixture(const std::string& name) { return std::string(ARCHIVE_FIXTURES) + "/" + name; }

const char* const kArchives[] = {"lzma2_bcj", "encoded_header", "lzma", "bcj2", "copy", "small_dictionary"};

TEST(ArchiveDecode, EveryCoderChainGivesBackThePackedFiles) {
  const std::map<std::u16string, std::string> expected = {
      {u"app.exe", "app.exe"}, {u"sub/numbers.txt", "sub/numbers.txt"},
      {u"one.txt", "one.txt"}, {u"empty.txt", "empty.txt"}};
  for (const char* name : kArchives) {
    SCOPED_TRACE(name);
    std::vector<uint8_t> bytes = Slurp(Fixture(std::string(name) + ".7z"));
    ASSERT_GT(bytes.size(), 32u);
    Files files;
    ASSERT_EQ(DecodeArchiveInMemory(bytes, files), archiver::kOk);
    for (const auto& [entryName, treePath] : expected) {
      SCOPED_TRACE(treePath);
      auto found = files.find(entryName);
      ASSERT_NE(found, files.end());
      std::vector<uint8_t> original = Slurp(Fixture("tree/" + treePath));
      ASSERT_EQ(found->second.size(), original.size());
      EXPECT_TRUE(found->second == original);
    }
  }
}

TEST(ArchiveDecode, TruncatedArchivesAreRefused) {
  for (const char* name : {"lzma2_bcj", "bcj2", "encoded_header"}) {
    SCOPED_TRACE(name);
    std::vector<uint8_t> bytes = Slurp(Fixture(std::string(name) + ".7z"));
    for (size_t length : {size_t(0), size_t(12), size_t(31), size_t(32), bytes.size() / 2, bytes.size() - 1}) {
      SCOPED_TRACE(length);
      std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + long(length));
      Files files;
      EXPECT_NE(DecodeArchiveInMemory(cut, files), archiver::kOk);
    }
  }
}

TEST(ArchiveDecode, DamagedDataOrHeaderIsNotTakenAsGood) {
  std::vector<uint8_t> original = Slurp(Fixture("copy.7z"));
  struct Case {
    const char* what;
    size_t pos;
    int error;
  };
  const Case cases[] = {
      {"signature", 0, archiver::kErrorNot7z},
      {"start header crc", 9, archiver::kErrorHeader},
      {"stored data", 32 + 100, archiver::kErrorCrc},
      {"header byte (its crc left stale)", original.size() - 3, archiver::kErrorHeader},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bytes = original;
    bytes[c.pos] ^= 0x20;
    Files files;
    EXPECT_EQ(DecodeArchiveInMemory(bytes, files), c.error);
  }
}

}  // namespace
