#include "objectmodel/memory_io.h"

#include <string>

#include <gtest/gtest.h>

namespace KT {
namespace {

std::string AsText(const std::vector<u8>& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(MemoryIo, WritesAppendAndReadBackAfterRewind) {
  CMemoryIo io;
  EXPECT_TRUE(io.IsEof());
  EXPECT_EQ(io.PrepareSize(64, 16), kOk);
  ASSERT_EQ(io.Write("head", 4, 0), kOk);
  ASSERT_EQ(io.Write("body", 4, 0), kOk);
  EXPECT_EQ(io.Write("", 0, 0), kOk);
  EXPECT_EQ(io.Write(nullptr, 1, 0), kErrInvalidArg);
  EXPECT_EQ(io.GetSize(), 8u);
  EXPECT_EQ(AsText(io.GetData()), "headbody");

  char buffer[8] = {};
  ASSERT_EQ(io.Read(buffer, sizeof buffer, 4, 0), kOk);
  EXPECT_EQ(std::string(buffer, 4), "head");
  ASSERT_EQ(io.Write("tail", 4, 0), kOk);  // writing does not move the read position
  EXPECT_EQ(io.GetPosition(), 4u);
  EXPECT_EQ(io.GetRemaining(), 8u);
  io.Rewind();
  EXPECT_EQ(io.GetRemaining(), 12u);
}

TEST(MemoryIo, ShortReadLeavesThePositionAlone) {
  CMemoryIo io(std::vector<u8>{1, 2, 3});
  u8 buffer[4] = {};
  EXPECT_EQ(io.Read(buffer, sizeof buffer, 4, 0), kErrStream);
  EXPECT_EQ(io.GetPosition(), 0u);
  EXPECT_EQ(io.Read(buffer, sizeof buffer, 3, 0), kOk);
}

TEST(MemoryIo, WriteLimitActsLikeAFullDisk) {
  CMemoryIo io;
  io.SetWriteLimit(6);
  ASSERT_EQ(io.Write("abcd", 4, 0), kOk);
  EXPECT_EQ(io.Write("efg", 3, 0), kErrStream);
  EXPECT_EQ(AsText(io.GetData()), "abcd");  // nothing of the refused write
  EXPECT_EQ(io.Write("ef", 2, 0), kOk);
  EXPECT_EQ(io.PrepareSize(100, 100), kOk);  // a hint past the limit is ignored
}

TEST(MemoryIo, CopiesFromItsOwnBlockSafely) {
  CMemoryIo io(std::vector<u8>{'a', 'b', 'c'});
  for (int i = 0; i < 6; ++i) {
    const std::vector<u8>& data = io.GetData();
    ASSERT_EQ(io.Write(data.data(), static_cast<u32>(data.size()), 0), kOk);
  }
  EXPECT_EQ(io.GetSize(), 3u * 64u);
  EXPECT_EQ(AsText(io.GetData()).substr(0, 9), "abcabcabc");
}

TEST(MemoryIo, DataCanBeReplacedAndTakenOver) {
  CMemoryIo io(nullptr, 5);
  EXPECT_EQ(io.GetSize(), 0u);
  io.SetData({'x', 'y'});
  u8 byte = 0;
  ASSERT_EQ(io.Read(&byte, 1, 1, 0), kOk);
  io.SetData({'p', 'q', 'r'});
  EXPECT_EQ(io.GetPosition(), 0u);
  const std::vector<u8> taken = io.TakeData();
  EXPECT_EQ(AsText(taken), "pqr");
  EXPECT_EQ(io.GetSize(), 0u);
  EXPECT_TRUE(io.IsEof());
}

TEST(MemoryIo, GetFolderAnswersTheFolderOfItsPath) {
  CMemoryIo io;
  WString folder = u"stale";
  EXPECT_EQ(io.GetFolder(folder), kOk);
  EXPECT_EQ(folder, u"");
  io.SetPath(u"C:\\scenes\\hero.scn");
  EXPECT_EQ(io.GetFolder(folder), kOk);
  EXPECT_EQ(folder, u"C:\\scenes");
}

}  // namespace
}  // namespace KT
