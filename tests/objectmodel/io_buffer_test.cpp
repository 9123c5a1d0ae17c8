// The reading contract every byte device keeps, run over each device.
#include "objectmodel/io_buffer.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "objectmodel/file_io.h"
#include "objectmodel/memory_io.h"
#include "support/temp_folder.h"

namespace KT {
namespace {

using KT::Testing::TempFolder;

// Makes a device positioned at the start of `bytes`.
struct FileDevice {
  static constexpr const char* kName = "CFileIo";
  TempFolder dir;
  std::unique_ptr<CIoBuffer> Make(const std::string& bytes) {
    dir.WriteFile("data.bin", bytes);
    auto device = std::make_unique<CFileIo>();
    if (device->OpenRead(dir.Wide("data.bin")) != kOk) return nullptr;
    return device;
  }
};

struct MemoryDevice {
  std::unique_ptr<CIoBuffer> Make(const std::string& bytes) {
    return std::make_unique<CMemoryIo>(bytes.data(), static_cast<u32>(bytes.size()));
  }
};

template <typename Factory>
class ByteDevice : public ::testing::Test {
 protected:
  std::unique_ptr<CIoBuffer> Make(const std::string& bytes) {
    auto device = factory_.Make(bytes);
    EXPECT_NE(device, nullptr);
    return device;
  }
  Factory factory_;
};

using Devices = ::testing::Types<FileDevice, MemoryDevice>;
TYPED_TEST_SUITE(ByteDevice, Devices);

TYPED_TEST(ByteDevice, EmptyDataIsAtItsEndAtOnce) {
  auto device = this->Make("");
  ASSERT_NE(device, nullptr);
  EXPECT_TRUE(device->IsEof());
  EXPECT_EQ(device->GetSize(), 0u);
  EXPECT_EQ(device->GetRemaining(), 0u);
  u8 byte = 0;
  EXPECT_EQ(device->Read(&byte, 1, 1, 0), kErrStream);
  EXPECT_EQ(device->Read(&byte, 1, 0, 0), kOk);  // nothing asked, nothing fails
}

TYPED_TEST(ByteDevice, ReadsExactlyAndTracksTheRemainder) {
  auto device = this->Make("abcdefgh");
  ASSERT_NE(device, nullptr);
  char buffer[8] = {};
  ASSERT_EQ(device->Read(buffer, sizeof buffer, 3, 0), kOk);
  EXPECT_EQ(std::string(buffer, 3), "abc");
  EXPECT_EQ(device->GetSize(), 8u);
  EXPECT_EQ(device->GetRemaining(), 5u);
  EXPECT_FALSE(device->IsEof());
  ASSERT_EQ(device->Read(buffer, sizeof buffer, 5, 0), kOk);
  EXPECT_EQ(std::string(buffer, 5), "defgh");
  EXPECT_TRUE(device->IsEof());
  EXPECT_EQ(device->GetRemaining(), 0u);
}

TYPED_TEST(ByteDevice, CountAboveCapacityIsRefusedWithoutReading) {
  auto device = this->Make("abcdefgh");
  ASSERT_NE(device, nullptr);
  char buffer[4] = {'.', '.', '.', '.'};
  EXPECT_EQ(device->Read(buffer, 4, 5, 0), kErrInvalidArg);
  EXPECT_EQ(std::string(buffer, 4), "....");
  EXPECT_EQ(device->GetRemaining(), 8u);
  EXPECT_EQ(device->Read(nullptr, 0, 1, 0), kErrInvalidArg);
  ASSERT_EQ(device->Read(buffer, 4, 4, 0), kOk);  // the device is still usable
  EXPECT_EQ(std::string(buffer, 4), "abcd");
}

TYPED_TEST(ByteDevice, ShortReadFails) {
  auto device = this->Make("abc");
  ASSERT_NE(device, nullptr);
  char buffer[8] = {};
  EXPECT_EQ(device->Read(buffer, sizeof buffer, 4, 0), kErrStream);
}

TYPED_TEST(ByteDevice, SkipStaysInsideTheData) {
  const struct {
    i32 first;   // skipped from position 2
    Result result;
    u32 remaining;  // afterwards
  } cases[] = {
      {0, kOk, 6}, {3, kOk, 3}, {6, kOk, 0},  // to the very end
      {-2, kOk, 8},                           // back to the start
      {7, kErrStream, 6},                     // past the end: refused, position stays
      {-3, kErrStream, 6},                    // before the start
      {0x7FFFFFFF, kErrStream, 6},
      {static_cast<i32>(0x80000000u), kErrStream, 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    auto device = this->Make("abcdefgh");
    ASSERT_NE(device, nullptr);
    char buffer[2] = {};
    ASSERT_EQ(device->Read(buffer, 2, 2, 0), kOk);
    EXPECT_EQ(device->Skip(c.first), c.result);
    EXPECT_EQ(device->GetRemaining(), c.remaining);
    if (c.remaining > 0) {
      char next = 0;
      ASSERT_EQ(device->Read(&next, 1, 1, 0), kOk);
      EXPECT_EQ(next, "abcdefgh"[8 - c.remaining]);
    }
  }
}

TYPED_TEST(ByteDevice, ExistsAsksAboutTheGivenPath) {
  auto device = this->Make("x");
  ASSERT_NE(device, nullptr);
  TempFolder dir;
  ASSERT_TRUE(dir.Valid());
  dir.WriteFile("other.bin", "y");
  EXPECT_TRUE(device->Exists(dir.Wide("other.bin")));
  EXPECT_TRUE(device->Exists(dir.Wide() + u"\\"));
  EXPECT_FALSE(device->Exists(dir.Wide("missing.bin")));
}

}  // namespace
}  // namespace KT
