#include "treeruntime/spt_builder.h"

#include <cstring>

namespace trt::test {

SptWriter& SptWriter::Token(std::int32_t value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof(bits));
  for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(static_cast<std::uint8_t>(bits >> shift));
  return *this;
}

SptWriter& SptWriter::Float(float value) {
  std::int32_t bits = 0;
  std::memcpy(&bits, &value, sizeof(bits));
  return Token(bits);
}

SptWriter& SptWriter::Long(std::uint32_t low, std::uint32_t high) {
  Token(static_cast<std::int32_t>(low));
  return Token(static_cast<std::int32_t>(high));
}

SptWriter& SptWriter::Byte(std::uint8_t value) {
  bytes_.push_back(value);
  return *this;
}

SptWriter& SptWriter::String(const std::string& value) {
  Token(static_cast<std::int32_t>(value.size()));
  bytes_.insert(bytes_.end(), value.begin(), value.end());
  return *this;
}

SptWriter& SptWriter::Vec(const SptVec& value) { return Float(value.x).Float(value.y).Float(value.z); }

SptWriter& SptWriter::Header() { return Token(1000).String("__TreSpt_02_"); }

SptWriter& SptWriter::General(const SptTree& tree) {
  Token(1002);
  Token(2000).String(tree.branchTexture);
  Token(2001).Float(tree.value2001);
  Token(2002).Byte(tree.dropped.byte2002);
  Token(2003).Float(tree.value2003);
  Token(2005).Token(tree.seed);
  Token(2006).Float(tree.size);
  Token(2004).Token(tree.dropped.int2004);
  Token(2007).Float(tree.sizeVariance);
  Token(1014).Token(static_cast<std::int32_t>(tree.levels.size()));
  for (const SptLevel& level : tree.levels) Level(level);
  Token(1015);
  return Token(1003);
}

SptWriter& SptWriter::Level(const SptLevel& level) {
  Token(1016);
  for (int i = 0; i < 8; ++i) Token(6000 + i).String(level.curves[i]);
  Token(6008).Token(level.crossSections);
  Token(6009).Token(level.segments);
  Token(6010).Float(level.firstChild);
  Token(6011).Float(level.lastChild);
  Token(6012).Float(level.frequency);
  Token(6013).Float(level.uScale);
  Token(6014).Float(level.vScale);
  Token(6015).Byte(level.absoluteU ? 1 : 0);
  Token(6016).Byte(level.absoluteV ? 1 : 0);
  Token(6017).String(level.curves[8]);
  return Token(1017);
}

SptWriter& SptWriter::LeafInfo(const SptTree& tree) {
  const SptDropped& d = tree.dropped;
  Token(1004);
  Token(3000).Float(tree.leaf3000);
  Token(3001).Token(tree.leaf3001);
  Token(3002).Float(tree.leaf3002);
  Token(3003).Byte(d.byte3003);
  Token(3004).Float(d.float3004);
  Token(3009).Byte(tree.leaf3009 ? 1 : 0);
  Token(3010).Float(tree.leaf3010);
  Token(3005).Float(d.float3005);
  Token(3006).Byte(d.byte3006);
  Token(3007).Float(tree.dimensionFactor);
  Token(3008).Token(tree.leaf3008);
  Token(1009).Token(d.token1006).Token(static_cast<std::int32_t>(tree.leafMaps.size()));
  for (const SptLeafMap& map : tree.leafMaps) LeafMap(map, d);
  Token(d.token1010);
  return Token(1005);
}

SptWriter& SptWriter::LeafMap(const SptLeafMap& map, const SptDropped& dropped) {
  Token(dropped.token1007);
  Token(4000).Byte(map.flag ? 1 : 0);
  Token(4001).Vec(map.color);
  Token(4002).Float(map.value);
  Token(4003).String(map.fileName);
  Token(4004).Vec(map.origin);
  Token(4005).Vec(map.relativeSize);
  Token(4006).Vec(map.absoluteSize);
  float ratio = map.relativeSize.x > 0.0f ? map.relativeSize.y / map.relativeSize.x : 1.0f;
  if (map.overrideRatio) ratio = map.ratio;
  Token(4007).Float(ratio);
  return Token(1008);
}

SptWriter& SptWriter::Wind(const SptTree& tree) {
  const SptDropped& d = tree.dropped;
  Token(1011);
  Token(5000).Vec(d.wind5000);
  Token(5001).Vec(d.wind5001);
  Token(5002).Vec(tree.windB);
  Token(5003).Vec(d.wind5003);
  Token(5004).Vec(tree.windA);
  Token(5005).Float(tree.windValue);
  Token(5006).Byte(d.byte5006);
  return Token(1012);
}

SptWriter& SptWriter::LeafLods(const SptTree& tree) {
  Token(7000).Token(tree.leafLodCount);
  for (const std::vector<SptBillboardLeaf>& level : tree.leafLods) {
    Token(7002);
    for (const SptBillboardLeaf& leaf : level) BillboardLeaf(leaf);
    Token(7003);
  }
  return Token(7001);
}

SptWriter& SptWriter::BillboardLeaf(const SptBillboardLeaf& leaf) {
  Token(7004);
  Token(7006).Long(leaf.color, leaf.colorHigh);
  Token(7007).Byte(leaf.byteA);
  Token(7008).Byte(leaf.dimming);
  Token(7010).Vec(leaf.corner);
  Token(7011).Byte(leaf.leafMapByte);
  Token(7012).Byte(leaf.fraction);
  Token(7013).Token(leaf.value);
  Token(7015).Vec(leaf.position);
  Token(7016).Float(leaf.dropped7016);
  return Token(7005);
}

Bytes BuildSpt(const SptTree& tree) {
  SptWriter w;
  w.Header().General(tree).LeafInfo(tree).Wind(tree).Token(1001);
  if (tree.hasLeafLods) w.LeafLods(tree);
  return w.Data();
}

Bytes SmallestLevelRecords(std::int32_t count, std::uint8_t absoluteU) {
  SptWriter w;
  w.Header().Token(1002).Token(1014).Token(count);
  for (std::int32_t i = 0; i < count; ++i) w.Token(1016).Token(6015).Byte(absoluteU).Token(1017);
  w.Token(1015).Token(1003).Token(1001);
  return w.Data();
}

std::string CurveText(const std::string& head, const std::vector<std::string>& points) {
  std::string text = "BezierSpline ";
  text += head;
  text += "\n{\n\t";
  text += std::to_string(points.size());
  text += "\n";
  for (const std::string& point : points) {
    text += "\t";
    text += point;
    text += "\n";
  }
  text += "\n}\n";
  return text;
}

}  // namespace trt::test
