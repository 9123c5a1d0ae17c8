#include "objectmodel/file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace KT {
namespace {

using KT::Testing::TempFolder;

std::string Contents(const std::string& native) {
  std::ifstream in(native, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class FileIoTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.Valid()); }
  TempFolder dir_;
};

TEST_F(FileIoTest, StartsClosed) {
  CFileIo io;
  EXPECT_FALSE(io.IsOpen());
  EXPECT_EQ(io.GetSize(), 0u);
  EXPECT_EQ(io.GetPosition(), 0u);
  EXPECT_EQ(io.GetWritten(), 0u);
  EXPECT_TRUE(io.GetPath().empty());
  EXPECT_TRUE(io.IsEof());
  u8 byte = 0;
  EXPECT_EQ(io.Read(&byte, 1, 1, 0), kErrStream);
  EXPECT_EQ(io.Write(&byte, 1, 0), kErrStream);
  EXPECT_EQ(io.Skip(0), kErrStream);
}

TEST_F(FileIoTest, OpenReadFailures) {
  dir_.MakeFolder("folder.scn");
  const struct {
    const char* name;
    WString path;
    Result result;
  } cases[] = {
      {"empty path", u"", kErrInvalidArg},
      {"missing file", dir_.Wide("missing.scn"), kErrFileSize},
      {"missing folder", dir_.Wide("none\\missing.scn"), kErrFileSize},
      {"a folder", dir_.Wide("folder.scn"), kErrTreeData},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CFileIo io;
    EXPECT_EQ(io.OpenRead(c.path), c.result);
    EXPECT_FALSE(io.IsOpen());
    EXPECT_EQ(io.GetPath(), c.path);  // kept for GetFolder
  }
}

TEST_F(FileIoTest, FileOf4GiBOrMoreIsRefused) {
  const std::string native = dir_.Native("huge.scn");
  const int fd = open(native.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  // A sparse file: no disk space is used.
  const bool sized = ftruncate(fd, static_cast<off_t>(0x100000010LL)) == 0;
  close(fd);
  if (!sized) GTEST_SKIP() << "the file system cannot hold a 4 GiB sparse file";
  CFileIo io;
  EXPECT_EQ(io.OpenRead(dir_.Wide("huge.scn")), kErrFileSize);
  EXPECT_FALSE(io.IsOpen());
}

TEST_F(FileIoTest, WritesThenReadsBack) {
  const WString path = dir_.Wide() + u"\\out.scn";  // backslash separators work
  CFileIo io;
  ASSERT_EQ(io.OpenWrite(path), kOk);
  EXPECT_EQ(io.PrepareSize(1000, 16), kOk);
  ASSERT_EQ(io.Write("_KTVusk", 7, 0), kOk);
  ASSERT_EQ(io.Write("\x03\0\0\0", 4, 0), kOk);
  EXPECT_EQ(io.Write("", 0, 0), kOk);
  EXPECT_EQ(io.GetWritten(), 11u);
  EXPECT_EQ(io.Write(nullptr, 1, 0), kErrInvalidArg);
  u8 byte = 0;
  EXPECT_EQ(io.Read(&byte, 1, 1, 0), kErrStream);  // not open for reading
  EXPECT_EQ(io.Skip(1), kErrStream);
  EXPECT_EQ(io.Close(), kOk);
  EXPECT_EQ(io.GetWritten(), 0u);
  EXPECT_EQ(Contents(dir_.Native("out.scn")), std::string("_KTVusk\x03\0\0\0", 11));

  ASSERT_EQ(io.OpenRead(path), kOk);
  EXPECT_EQ(io.GetSize(), 11u);
  char magic[7] = {};
  ASSERT_EQ(io.Read(magic, sizeof magic, 7, 0), kOk);
  EXPECT_EQ(std::memcmp(magic, "_KTVusk", 7), 0);
  EXPECT_EQ(io.GetPosition(), 7u);
  EXPECT_EQ(io.Write("x", 1, 0), kErrStream);  // not open for writing
  EXPECT_EQ(io.Close(), kOk);
  EXPECT_EQ(io.GetSize(), 0u);
  EXPECT_EQ(io.GetPosition(), 0u);
}

TEST_F(FileIoTest, OpenWriteFailures) {
  CFileIo io;
  EXPECT_EQ(io.OpenWrite(u""), kErrInvalidArg);
  EXPECT_EQ(io.OpenWrite(dir_.Wide("none/out.scn")), kErrTreeData);
  EXPECT_FALSE(io.IsOpen());
  EXPECT_EQ(io.OpenWrite(dir_.Wide()), kErrTreeData);  // a folder
}

TEST_F(FileIoTest, ReopeningClosesTheFirstFile) {
  dir_.WriteFile("a.scn", "aaaa");
  dir_.WriteFile("b.scn", "bb");
  CFileIo io;
  ASSERT_EQ(io.OpenRead(dir_.Wide("a.scn")), kOk);
  char c = 0;
  ASSERT_EQ(io.Read(&c, 1, 1, 0), kOk);
  ASSERT_EQ(io.OpenRead(dir_.Wide("b.scn")), kOk);
  EXPECT_EQ(io.GetSize(), 2u);
  EXPECT_EQ(io.GetPosition(), 0u);
  ASSERT_EQ(io.Read(&c, 1, 1, 0), kOk);
  EXPECT_EQ(c, 'b');
  // A failed open leaves the device closed.
  EXPECT_EQ(io.OpenRead(dir_.Wide("missing.scn")), kErrFileSize);
  EXPECT_FALSE(io.IsOpen());
  EXPECT_EQ(io.GetSize(), 0u);
}

TEST_F(FileIoTest, ShortReadCountsWhatArrived) {
  dir_.WriteFile("short.scn", "abc");
  CFileIo io;
  ASSERT_EQ(io.OpenRead(dir_.Wide("short.scn")), kOk);
  char buffer[8] = {};
  EXPECT_EQ(io.Read(buffer, sizeof buffer, 5, 0), kErrStream);
  EXPECT_EQ(io.GetPosition(), 3u);
  EXPECT_TRUE(io.IsEof());
}

TEST_F(FileIoTest, GetFolderAnswersTheFolderOfTheStoredPath) {
  CFileIo io;
  WString folder = u"stale";
  EXPECT_EQ(io.GetFolder(folder), kOk);
  EXPECT_EQ(folder, u"");
  EXPECT_EQ(io.OpenRead(u"C:\\scenes\\missing.scn"), kErrFileSize);
  EXPECT_EQ(io.GetFolder(folder), kOk);
  EXPECT_EQ(folder, u"C:\\scenes");
}

}  // namespace
}  // namespace KT
