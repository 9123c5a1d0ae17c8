// drn dump: every object the file delivers appears once, the objects that
// no owning reference reaches from a root included.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "controllers/core/keyframe_control.h"
#include "examples/sample_scene.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream.h"
#include "tests/objectmodel/stream_test_support.h"
#include "tools/drn/commands.h"
#include "tools/drn/scene_file.h"

namespace drn {
namespace {

using Bytes = std::vector<KT::u8>;

// Reads the file's framing without the object model: the class name of
// every record it holds (the thumbnail, the listed objects, the extension
// records and every record of the root tree), counted by name.
class RecordWalker {
 public:
  explicit RecordWalker(const Bytes& bytes) : bytes_(bytes) {}

  std::map<std::string, int> Classes() {
    std::map<std::string, int> classes;
    at_ = 15;  // magic and version pair
    const KT::u32 thumbnail = U32();
    if (thumbnail > 0) {
      const std::size_t end = at_ + thumbnail;
      ++classes[Str()];
      at_ = end;
    }
    for (int list = 0; list < 2; ++list) {
      const KT::u32 size = U32();
      if (size == 0) continue;
      const KT::u32 count = U32();
      for (KT::u32 i = 0; i < count; ++i) ++classes[Record()];
    }
    U32();  // the root tree's size: it runs to the end of the file
    while (ok_ && at_ < bytes_.size()) {
      std::string name = Str();
      if (name == "_Root") name = Str();
      const KT::u32 body = U32();
      at_ += body;
      ++classes[name];
    }
    EXPECT_TRUE(ok_ && at_ == bytes_.size()) << "the framing does not end with the file";
    return classes;
  }

 private:
  KT::u32 U32() {
    KT::u32 value = 0;
    if (at_ + 4 > bytes_.size()) {
      ok_ = false;
      return 0;
    }
    std::memcpy(&value, &bytes_[at_], 4);
    at_ += 4;
    return value;
  }
  std::string Str() {
    const KT::u32 length = U32();
    if (at_ + length > bytes_.size()) {
      ok_ = false;
      return {};
    }
    std::string text(reinterpret_cast<const char*>(&bytes_[at_]), length);
    at_ += length;
    return text;
  }
  std::string Record() {
    std::string name = Str();
    at_ += U32();
    return name;
  }

  const Bytes& bytes_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

// The class names of the object lines of a dump (indented by exactly two
// blanks; member lines are indented further), counted by name.
std::map<std::string, int> DumpedClasses(const std::string& text) {
  std::map<std::string, int> classes;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.size() < 3 || line.compare(0, 2, "  ") != 0 || line[2] == ' ') continue;
    ++classes[line.substr(2, line.find(' ', 2) - 2)];
  }
  return classes;
}

TEST(DumpCommandTest, TheDumpShowsEveryRecordOfTheFileOnce) {
  RegisterAllClasses();
  Bytes bytes;
  {
    KT::CStream stream;
    ASSERT_EQ(KT::BuildSampleScene(stream), KT::kOk);
    KT::CMemoryIo device;
    stream.SetDevice(&device);
    ASSERT_EQ(stream.Save(KT::CStream::kAllSections), KT::kOk);
    bytes = device.TakeData();
  }
  KT::CStream stream;
  KT::CMemoryIo device;
  device.SetData(bytes);
  stream.SetDevice(&device);
  ASSERT_EQ(stream.Load(0x1E, 0x1F), KT::kOk);
  const std::string text = DumpSceneText(stream);

  const std::map<std::string, int> records = RecordWalker(bytes).Classes();
  ASSERT_GT(records.count("CBoundingBox"), 0u);
  EXPECT_EQ(DumpedClasses(text), records);
  // The bone boxes, which the leg holds beside its levels.
  EXPECT_NE(text.find("CBoundingBox \"Hip box\""), std::string::npos);
  EXPECT_NE(text.find("CBoundingBox \"Knee box\""), std::string::npos);
}

// 100,000 keyframe controllers, each in the control chain of the one
// before: the dump walks what each object reports through EnumReferences
// with its own stack, so it lists every level once and in order; a walk
// that recursed per level would overflow long before the end in the
// sanitizers' build.
TEST(DumpCommandTest, ADeeplyNestedChainIsDumpedLevelByLevel) {
  RegisterAllClasses();
  constexpr int kLevels = 100000;
  Bytes bytes;
  {
    KT::CPointer<KT::CKeyframeControl> inner;
    for (int i = kLevels; i-- > 0;) {
      KT::CPointer<KT::CKeyframeControl> outer(new KT::CKeyframeControl());
      outer->SetName(i == 0 ? u"top" : i == kLevels - 1 ? u"deepest" : u"level");
      if (inner) {
        ASSERT_EQ(outer->AddControl(inner.Get()), KT::kOk);
      }
      inner = outer;
    }
    bytes = KT::test::SaveRoots({inner.Get()});
  }
  ASSERT_FALSE(bytes.empty());
  KT::CStream stream;
  KT::CMemoryIo device;
  ASSERT_EQ(KT::test::LoadScene(bytes, stream, device), KT::kOk);
  const std::string text = DumpSceneText(stream);
  EXPECT_EQ(DumpedClasses(text), (std::map<std::string, int>{{"CKeyframeControl", kLevels}}));
  const std::size_t top = text.find("CKeyframeControl \"top\"");
  const std::size_t deepest = text.find("CKeyframeControl \"deepest\"");
  ASSERT_NE(top, std::string::npos);
  ASSERT_NE(deepest, std::string::npos);
  EXPECT_LT(top, deepest);
  EXPECT_EQ(text.find("record ["), std::string::npos);  // every level reached from the root
}

}  // namespace
}  // namespace drn
