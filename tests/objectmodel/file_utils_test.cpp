#include "objectmodel/file_utils.h"

#include <fcntl.h>
#include <unistd.h>
#include <utime.h>

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace KT {
namespace {

using KT::Testing::TempFolder;

class FileUtilsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.Valid());
    dir_.WriteFile("maps/tex.png", "PNGDATA");
    dir_.WriteFile("empty.bin", "");
  }
  TempFolder dir_;
};

TEST_F(FileUtilsTest, PathExists) {
  const struct {
    WString path;
    bool exists;
  } cases[] = {
      {dir_.Wide("maps/tex.png"), true},
      {dir_.Wide("maps\\tex.png"), true},
      {dir_.Wide("maps"), true},
      {dir_.Wide("maps") + u"\\", true},  // folder written with a trailing backslash
      {dir_.Wide("maps") + u"/", true},
      {dir_.Wide("maps\\missing.png"), false},
      {u"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(PathExists(c.path), c.exists) << std::string(c.path.begin(), c.path.end());
}

TEST_F(FileUtilsTest, ReadWholeFile) {
  std::vector<u8> bytes = {9, 9};
  ASSERT_EQ(ReadWholeFile(bytes, dir_.Wide("maps\\tex.png")), kOk);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "PNGDATA");
  ASSERT_EQ(ReadWholeFile(bytes, dir_.Wide("empty.bin")), kOk);
  EXPECT_TRUE(bytes.empty());
}

TEST_F(FileUtilsTest, ReadWholeFileFailures) {
  std::vector<u8> bytes = {9};
  EXPECT_EQ(ReadWholeFile(bytes, dir_.Wide("missing.bin")), kErrFileSize);
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(bytes.capacity(), 1u);  // nothing allocated for a missing file
  bytes = {9};
  EXPECT_EQ(ReadWholeFile(bytes, dir_.Wide("maps")), kErrTreeData);  // a folder cannot be opened
  EXPECT_TRUE(bytes.empty());
}

TEST_F(FileUtilsTest, ReadWholeFileRefusesFilesBeyond32Bits) {
  const std::string native = dir_.Native("huge.bin");
  const int fd = open(native.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  const bool sized = ftruncate(fd, static_cast<off_t>(0x100000000LL)) == 0;
  close(fd);
  if (!sized) GTEST_SKIP() << "the file system cannot hold a 4 GiB sparse file";
  std::vector<u8> bytes;
  EXPECT_EQ(ReadWholeFile(bytes, dir_.Wide("huge.bin")), kErrFileSize);
  EXPECT_EQ(bytes.capacity(), 0u);
}

TEST_F(FileUtilsTest, GetFileModifiedTime) {
  utimbuf times{};
  times.actime = 1;
  times.modtime = 1300000000;
  ASSERT_EQ(utime(dir_.Native("maps/tex.png").c_str(), &times), 0);
  EXPECT_EQ(GetFileModifiedTime(dir_.Wide("maps\\tex.png")), 1300000000);
  EXPECT_EQ(GetFileModifiedTime(dir_.Wide("missing.png")), -1);
  EXPECT_EQ(GetFileModifiedTime(u""), -1);
}

}  // namespace
}  // namespace KT
