#include "platform/file_system.h"

#include <sys/stat.h>
#include <utime.h>

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace KT::Platform {
namespace {

using KT::Testing::TempFolder;

TEST(FileSystem, NativePathTurnsBackslashesIntoSlashesAndEncodesUtf8) {
  const struct {
    std::u16string in;
    std::string out;
  } cases[] = {
      {u"C:\\a\\b.txt", "C:/a/b.txt"},
      {u"/tmp/x\\y/z", "/tmp/x/y/z"},
      {u"\\\\server\\share", "//server/share"},
      {u"m\u00E4\u20AC.png", "m\xC3\xA4\xE2\x82\xAC.png"},
      {u"", ""},
  };
  for (const auto& c : cases) {
    std::string native;
    ASSERT_TRUE(ToNativePath(c.in, native));
    EXPECT_EQ(native, c.out);
  }
}

TEST(FileSystem, NativePathRefusesWhatWouldNameAnotherFile) {
  std::string native;
  EXPECT_FALSE(ToNativePath(std::u16string(u"/tmp/a\0b", 8), native));
  EXPECT_FALSE(ToNativePath(u"/tmp/\xD800.txt", native));
  EXPECT_TRUE(native.empty());
}

TEST(FileSystem, WriteThenReadThroughBackslashPath) {
  TempFolder dir;
  ASSERT_TRUE(dir.Valid());
  const std::u16string path = dir.Wide() + u"\\data.bin";

  std::FILE* out = OpenFile(path, FileMode::kWrite);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(WriteFile(out, "0123456789", 10), 10u);
  CloseFile(out);

  std::uint64_t size = 0;
  ASSERT_TRUE(GetFileSize(path, size));
  EXPECT_EQ(size, 10u);

  std::FILE* in = OpenFile(path, FileMode::kRead);
  ASSERT_NE(in, nullptr);
  char buffer[16] = {};
  EXPECT_EQ(ReadFile(in, buffer, 3), 3u);
  EXPECT_EQ(std::string(buffer, 3), "012");
  EXPECT_TRUE(SeekRelative(in, 4));  // to 7
  EXPECT_EQ(ReadFile(in, buffer, 16), 3u);  // short read answers what came
  EXPECT_EQ(std::string(buffer, 3), "789");
  EXPECT_TRUE(SeekRelative(in, -10));
  EXPECT_FALSE(SeekRelative(in, -1));  // before the start
  CloseFile(in);
}

TEST(FileSystem, OpenForReadingRefusesMissingFilesAndFolders) {
  TempFolder dir;
  ASSERT_TRUE(dir.Valid());
  EXPECT_EQ(OpenFile(dir.Wide("missing.bin"), FileMode::kRead), nullptr);
  EXPECT_EQ(OpenFile(dir.Wide(), FileMode::kRead), nullptr);
  EXPECT_EQ(OpenFile(u"", FileMode::kRead), nullptr);
  EXPECT_EQ(OpenFile(dir.Wide("no/such/folder/x.bin"), FileMode::kWrite), nullptr);
}

TEST(FileSystem, NullHandlesAreHarmless) {
  char c = 0;
  EXPECT_EQ(ReadFile(nullptr, &c, 1), 0u);
  EXPECT_EQ(WriteFile(nullptr, &c, 1), 0u);
  EXPECT_FALSE(SeekRelative(nullptr, 0));
  CloseFile(nullptr);
}

TEST(FileSystem, ExistsSizeAndModifiedTime) {
  TempFolder dir;
  ASSERT_TRUE(dir.Valid());
  dir.WriteFile("sub/file.txt", "hello");
  const std::string native = dir.Native("sub/file.txt");
  utimbuf times{};
  times.actime = 1000000000;
  times.modtime = 1234567890;
  ASSERT_EQ(utime(native.c_str(), &times), 0);

  EXPECT_TRUE(Exists(dir.Wide("sub\\file.txt")));
  EXPECT_TRUE(Exists(dir.Wide("sub")));
  EXPECT_FALSE(Exists(dir.Wide("sub\\other.txt")));
  EXPECT_FALSE(Exists(u""));

  std::uint64_t size = 99;
  EXPECT_TRUE(GetFileSize(dir.Wide("sub/file.txt"), size));
  EXPECT_EQ(size, 5u);
  EXPECT_TRUE(GetFileSize(dir.Wide("sub"), size));
  EXPECT_EQ(size, 0u);  // folders report no size
  EXPECT_FALSE(GetFileSize(dir.Wide("missing"), size));

  std::int64_t seconds = 0;
  EXPECT_TRUE(GetModifiedTime(dir.Wide("sub/file.txt"), seconds));
  EXPECT_EQ(seconds, 1234567890);
  EXPECT_FALSE(GetModifiedTime(dir.Wide("missing"), seconds));
  EXPECT_EQ(seconds, -1);
}

TEST(FileSystem, RemoveFileDeletesFilesOnly) {
  TempFolder dir;
  ASSERT_TRUE(dir.Valid());
  dir.WriteFile("sub/file.txt", "hello");
  EXPECT_TRUE(RemoveFile(dir.Wide("sub\\file.txt")));
  EXPECT_FALSE(Exists(dir.Wide("sub/file.txt")));
  EXPECT_FALSE(RemoveFile(dir.Wide("sub/file.txt"))) << "already gone";
  EXPECT_FALSE(RemoveFile(dir.Wide("sub"))) << "a folder stays";
  EXPECT_TRUE(Exists(dir.Wide("sub")));
  EXPECT_FALSE(RemoveFile(u""));
  EXPECT_FALSE(RemoveFile(dir.Wide() + std::u16string(u"/a\0b", 4)));
}

TEST(FileSystem, NonAsciiFileNamesRoundTrip) {
  TempFolder dir;
  ASSERT_TRUE(dir.Valid());
  const std::u16string path = dir.Wide() + u"/m\u00E4\u20AC\U0001F600.bin";
  std::FILE* out = OpenFile(path, FileMode::kWrite);
  ASSERT_NE(out, nullptr);
  CloseFile(out);
  EXPECT_TRUE(Exists(path));
  EXPECT_TRUE(std::filesystem::exists(dir.Native("m\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80.bin")));
}

}  // namespace
}  // namespace KT::Platform
