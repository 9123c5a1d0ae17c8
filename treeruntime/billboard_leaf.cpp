#include "treeruntime/billboard_leaf.h"

#include <bit>

namespace trt {
namespace {

float ClampFraction(float f) {
  if (!(f > 0.0f)) return 0.0f;
  return f > 1.0f ? 1.0f : f;
}

}  // namespace

SBillboardLeaf::SBillboardLeaf(const stVec3& position, std::uint8_t dimming, std::uint8_t byteA, float fraction,
                               float fraction2, std::int32_t value, std::uint32_t lastValue)
    : m_ucByteA(byteA),
      m_ucDimming(dimming),
      m_vPosition(position),
      m_fFraction(ClampFraction(fraction)),
      m_fFraction2(ClampFraction(fraction2)),
      m_nInt(value),
      m_uLastValue(lastValue) {}

void SBillboardLeaf::Parse(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "billboard leaf");
  for (std::int32_t token = file.ParseToken(); token != 7005; token = file.ParseToken()) {
    switch (token) {
      case 7006: m_auCornerColors[0] = std::bit_cast<std::uint32_t>(file.ParseLong()); break;
      case 7007: m_ucByteA = file.ParseByte(); break;
      case 7008: m_ucDimming = file.ParseByte(); break;
      case 7010: m_avCorners1[0] = file.ParseVector3(); break;
      case 7011: m_ucLeafMapByte = file.ParseByte(); break;
      case 7012: m_fFraction = file.ParseFraction(); break;
      case 7013: m_nInt = file.ParseToken(); break;
      case 7015: m_vPosition = file.ParseVector3(); break;
      case 7016: file.ParseFloat(); break;
      default: throw TreeFileError("malformed billboard leaf");
    }
  }
}

void SBillboardLeaf::Save(CTreeFileAccess& file) const {
  file.SaveToken(7004);
  file.SaveToken(7006);
  file.SaveLong(std::bit_cast<std::int32_t>(m_auCornerColors[0]));
  file.SaveToken(7007);
  file.SaveByte(m_ucByteA);
  file.SaveToken(7008);
  file.SaveByte(m_ucDimming);
  file.SaveToken(7010);
  file.SaveVector3(m_avCorners1[0]);
  file.SaveToken(7011);
  file.SaveByte(m_ucLeafMapByte);
  file.SaveToken(7012);
  file.SaveFraction(m_fFraction);
  file.SaveToken(7013);
  file.SaveToken(m_nInt);
  file.SaveToken(7015);
  file.SaveVector3(m_vPosition);
  file.SaveToken(7016);
  file.SaveFloat(0.0f);
  file.SaveToken(7005);
}

}  // namespace trt
