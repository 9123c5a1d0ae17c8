// A test-side writer of the core of SPT tree data, independent of the
// runtime's writer: it encodes every field itself (little-endian, no
// CTreeFileAccess) from a described tree, section by section in the order
// the runtime writes them. Parsing its bytes and saving them again must give
// the same bytes, so it is the oracle for both directions.
//
// Values the format reads and drops are part of the description (`SptDropped`
// and the per-record dropped fields): left at their defaults they are the
// constants the runtime writes; set to something else they build blocks
// whose re-save must show the constants again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "treeruntime/tree_test_util.h"

namespace trt::test {

struct SptVec {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
};

// The text the runtime writes for a curve without control points.
inline constexpr const char* kEmptyCurveText = "BezierSpline 0 1 0\n{\n\t0\n\n}\n";

// One branch level (1016 .. 1017).
struct SptLevel {
  // Curve texts of 6000 .. 6007, then 6017, written as they are.
  std::string curves[9] = {kEmptyCurveText, kEmptyCurveText, kEmptyCurveText, kEmptyCurveText, kEmptyCurveText,
                           kEmptyCurveText, kEmptyCurveText, kEmptyCurveText, kEmptyCurveText};
  std::int32_t crossSections = 6;
  std::int32_t segments = 3;
  float firstChild = 0.3f;
  float lastChild = 1.0f;
  float frequency = 0.3f;
  float uScale = 1.0f;
  float vScale = 1.0f;
  bool absoluteU = true;
  bool absoluteV = false;
};

// One leaf map (1007 .. 1008).
struct SptLeafMap {
  bool flag = false;
  SptVec color{0.8f, 0.8f, 0.8f};
  float value = 0.2f;
  std::string fileName;
  SptVec origin{0.5f, 1.0f, 0.0f};
  SptVec relativeSize{0.12f, 0.12f, 0.0f};
  SptVec absoluteSize{10.0f, 10.0f, 0.0f};
  // 4007: unset writes relative height / relative width (1.0 when the width
  // is not above 0), as the runtime does.
  bool overrideRatio = false;
  float ratio = 0.0f;
};

// One billboard leaf (7004 .. 7005).
struct SptBillboardLeaf {
  std::uint32_t color = 0xffffffffu;  // 7006, low word of the long
  std::uint32_t colorHigh = 0;        // 7006, high word (the runtime writes 0)
  std::uint8_t byteA = 0;             // 7007
  std::uint8_t dimming = 0;           // 7008
  SptVec corner;                      // 7010
  std::uint8_t leafMapByte = 0;       // 7011
  std::uint8_t fraction = 0;          // 7012, the byte itself
  std::int32_t value = 0;             // 7013
  SptVec position;                    // 7015
  float dropped7016 = 0.0f;           // 7016
};

// The values read and dropped by the core sections.
struct SptDropped {
  std::uint8_t byte2002 = 0;
  std::int32_t int2004 = 0;
  std::uint8_t byte3003 = 0;
  float float3004 = -1.0f;
  float float3005 = -1.0f;
  std::uint8_t byte3006 = 0;
  std::int32_t token1006 = 1006;
  std::int32_t token1010 = 1010;
  std::int32_t token1007 = 1007;
  SptVec wind5000;
  SptVec wind5001;
  SptVec wind5003;
  std::uint8_t byte5006 = 0;
};

struct SptTree {
  // 1002
  std::string branchTexture;
  float value2001 = 1100.0f;
  float value2003 = 100.0f;
  std::int32_t seed = 1200;
  float size = 50.0f;
  float sizeVariance = 0.0f;
  std::vector<SptLevel> levels;
  // 1004
  float leaf3000 = 0.75f;
  std::int32_t leaf3001 = 1;
  float leaf3002 = 0.8f;
  float dimensionFactor = 0.5f;  // 3007
  std::int32_t leaf3008 = 2;
  bool leaf3009 = true;
  float leaf3010 = 1.0f;
  std::vector<SptLeafMap> leafMaps;
  // 1011
  SptVec windB{-22.5f, 22.5f, 1.0f};
  SptVec windA{0.5f, 0.5f, 0.0f};
  float windValue = 0.25f;
  // 7000, written after 1001 when present
  bool hasLeafLods = false;
  std::int32_t leafLodCount = 0;
  std::vector<std::vector<SptBillboardLeaf>> leafLods;

  SptDropped dropped;
};

// Field encoder plus one writer per section. Every section writer emits its
// start token, its fields in the runtime's writer order and its end token.
class SptWriter {
 public:
  SptWriter& Token(std::int32_t value);
  SptWriter& Float(float value);
  SptWriter& Long(std::uint32_t low, std::uint32_t high);
  SptWriter& Byte(std::uint8_t value);
  SptWriter& String(const std::string& value);
  SptWriter& Vec(const SptVec& value);
  SptWriter& Vector(const stVec3& value) { return Vec({value.x, value.y, value.z}); }

  // 1000 and the header string.
  SptWriter& Header();
  SptWriter& General(const SptTree& tree);
  SptWriter& Level(const SptLevel& level);
  SptWriter& LeafInfo(const SptTree& tree);
  SptWriter& LeafMap(const SptLeafMap& map, const SptDropped& dropped);
  SptWriter& Wind(const SptTree& tree);
  SptWriter& LeafLods(const SptTree& tree);
  SptWriter& BillboardLeaf(const SptBillboardLeaf& leaf);

  const Bytes& Data() const { return bytes_; }
  std::size_t Size() const { return bytes_.size(); }
  // A runtime reader over the bytes written so far.
  CTreeFileAccess Reader() const { return ReaderOf(bytes_); }

 private:
  Bytes bytes_;
};

// Byte images of single fields and records in tests: the same encoder, so
// that expected bytes never come from the runtime's own writer.
using Image = SptWriter;

// The whole core: header, 1002, 1004, 1011, 1001 and, when the tree has
// them, the leaf LODs.
Bytes BuildSpt(const SptTree& tree);

// A core of only the branch-level list: `count` of the smallest level
// records, each 1016, 6015 with `absoluteU`, 1017 (13 bytes). 6015 sets the
// first texture layer's absolute-u flag, whose default is set: with 1 the
// records leave their levels at the defaults.
Bytes SmallestLevelRecords(std::int32_t count, std::uint8_t absoluteU);

// Curve text in the form the runtime writes back: minimum, maximum and
// variance, then control points (x, y, unit tangent x, y, handle length).
std::string CurveText(const std::string& head, const std::vector<std::string>& points);

}  // namespace trt::test
