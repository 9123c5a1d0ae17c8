#include "treeruntime/tree_leaf_info.h"

#include <algorithm>

#include "treeruntime/texture_flip.h"
#include "treeruntime/tree_random.h"

namespace trt {
namespace {

constexpr const char* kMalformedLeafMap = "malformed single leaf information";
constexpr const char* kMalformedLeafInfo = "malformed general leaf information";
// The smallest leaf-map record: a token, one field token with a byte, 1008.
constexpr std::size_t kMinLeafMapBytes = 13;

}  // namespace

// --- STreeLeafMap -------------------------------------------------------------

void STreeLeafMap::Parse(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "single leaf information");
  file.ParseToken();  // written as 1007; its value means nothing
  std::int32_t token = file.ParseToken();
  do {
    switch (token) {
      case 4000: m_bFlag = file.ParseBool(); break;
      case 4001: m_vColor = file.ParseVector3(); break;
      case 4002: m_fValue = file.ParseFloat(); break;
      case 4003: m_strFileName = StripDirectories(file.ParseString()); break;
      case 4004: m_vOrigin = file.ParseVector3(); break;
      case 4005: m_vRelativeSize = file.ParseVector3(); break;
      case 4006: m_vAbsoluteSize = file.ParseVector3(); break;
      case 4007: file.ParseFloat(); break;  // derived from the sizes when written
      default: throw TreeFileError("%s", kMalformedLeafMap);
    }
    token = file.ParseToken();
  } while (token != 1008);
}

void STreeLeafMap::Save(CTreeFileAccess& file) const {
  file.SaveToken(1007);
  file.SaveToken(4000);
  file.SaveBool(m_bFlag);
  file.SaveToken(4001);
  file.SaveVector3(m_vColor);
  file.SaveToken(4002);
  file.SaveFloat(m_fValue);
  file.SaveToken(4003);
  file.SaveString(m_strFileName);
  file.SaveToken(4004);
  file.SaveVector3(m_vOrigin);
  file.SaveToken(4005);
  file.SaveVector3(m_vRelativeSize);
  file.SaveToken(4006);
  file.SaveVector3(m_vAbsoluteSize);
  file.SaveToken(4007);
  file.SaveFloat(m_vRelativeSize.x > 0.0f ? m_vRelativeSize.y / m_vRelativeSize.x : 1.0f);
  file.SaveToken(1008);
}

// --- STreeLeafInfo ------------------------------------------------------------

STreeLeafInfo::~STreeLeafInfo() { FreeTables(); }

void STreeLeafInfo::Parse(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "general leaf information");
  std::int32_t token = file.ParseToken();
  do {
    switch (token) {
      case 3000: m_fValue3000 = file.ParseFloat(); break;
      case 3001:
        m_nValue3001 = file.ParseToken();
        m_nNormalSmoothingInt = m_nValue3001;
        break;
      case 3002: m_fValue3002 = file.ParseFloat(); break;
      case 3003: file.ParseByte(); break;
      case 3004: file.ParseFloat(); break;
      case 3005: file.ParseFloat(); break;
      case 3006: file.ParseByte(); break;
      case 3007: m_fDimensionFactor = file.ParseFloat(); break;
      case 3008: m_nValue3008 = file.ParseToken(); break;
      case 3009: m_bFlag3009 = file.ParseBool(); break;
      case 3010: m_fValue3010 = file.ParseFloat(); break;
      case 1009: {
        file.ParseToken();  // written as 1006
        const std::int32_t count = file.ParseToken();
        if (count > kMaxLeafMaps) throw TreeFileError("%s", kMalformedLeafInfo);
        file.RequireCount(count, kMinLeafMapBytes);
        m_vLeafMaps.clear();
        m_vLeafMaps.resize(static_cast<std::size_t>(std::max(count, 0)));
        for (STreeLeafMap& map : m_vLeafMaps) map.Parse(file);
        file.ParseToken();  // written as 1010
        break;
      }
      default: throw TreeFileError("%s", kMalformedLeafInfo);
    }
    token = file.ParseToken();
  } while (token != 1005);
}

void STreeLeafInfo::Save(CTreeFileAccess& file) const {
  file.SaveToken(1004);
  file.SaveToken(3000);
  file.SaveFloat(m_fValue3000);
  file.SaveToken(3001);
  file.SaveToken(m_nValue3001);
  file.SaveToken(3002);
  file.SaveFloat(m_fValue3002);
  file.SaveToken(3003);
  file.SaveByte(0);
  file.SaveToken(3004);
  file.SaveFloat(-1.0f);
  file.SaveToken(3009);
  file.SaveBool(m_bFlag3009);
  file.SaveToken(3010);
  file.SaveFloat(m_fValue3010);
  file.SaveToken(3005);
  file.SaveFloat(-1.0f);
  file.SaveToken(3006);
  file.SaveByte(0);
  file.SaveToken(3007);
  file.SaveFloat(m_fDimensionFactor);
  file.SaveToken(3008);
  file.SaveToken(m_nValue3008);
  file.SaveToken(1009);
  file.SaveToken(1006);
  file.SaveToken(static_cast<std::int32_t>(m_vLeafMaps.size()));
  for (const STreeLeafMap& map : m_vLeafMaps) map.Save(file);
  file.SaveToken(1010);
  file.SaveToken(1005);
}

void STreeLeafInfo::InitTables(std::int32_t numLeafMaps) {
  FreeTables();
  const std::uint64_t maps = static_cast<std::uint64_t>(std::max(numLeafMaps, 0));
  const std::uint64_t offsets = static_cast<std::uint64_t>(std::max(m_nNumTimeOffsets, 0));
  const std::uint64_t lods = static_cast<std::uint64_t>(std::max(m_nNumLeafLods, 0));
  const std::uint64_t intsPerTable = offsets * maps * kTableInts;
  const std::uint64_t tableBytes = lods * (4 + intsPerTable * sizeof(float)) + lods * sizeof(void*);
  if (maps > kMaxTableBytes || tableBytes > kMaxTableBytes) throw BadAllocation();

  // Allocate everything first, then publish, so that a failure leaves the
  // record without tables rather than with half of them.
  try {
    CTreeRandom random;
    m_pTimeOffsets = TrackedNewArray<float>(offsets, "STreeLeafInfo::InitTables, m_pTimeOffsets");
    for (std::uint64_t i = 0; i < offsets; ++i) m_pTimeOffsets[i] = random.GetUniform(0.0f, 10000.0f);

    const float s = GetTextureFlipFlag() ? -1.0f : 1.0f;
    m_pTexCoords = TrackedNewArray<float>(2 * maps * 8, "STreeLeafInfo::InitTables, m_pTexCoords");
    for (std::uint64_t record = 0; record < 2 * maps; ++record) {
      float* r = m_pTexCoords + record * 8;
      r[0] = 0.0f;
      r[1] = s;
      r[2] = s;
      r[3] = s;
      r[4] = s;
      r[5] = 0.0f;
      r[6] = 0.0f;
      r[7] = 0.0f;
    }

    m_ppLodTables = TrackedNewArray<float*>(lods, "STreeLeafInfo::InitTables, m_ppLodTables");
    for (std::uint64_t lod = 0; lod < lods; ++lod) {
      m_ppLodTables[lod] = TrackedNewArray<float>(intsPerTable, "STreeLeafInfo::InitTables, m_ppLodTables[i]");
    }
  } catch (...) {
    FreeTables();
    throw;
  }
  m_nNumTableLeafMaps = static_cast<std::int32_t>(maps);
}

void STreeLeafInfo::FreeTables() {
  TrackedDeleteArray(m_pTimeOffsets);
  if (m_ppLodTables != nullptr) {
    const std::uint32_t count = TrackedArrayCount(m_ppLodTables);
    for (std::uint32_t i = 0; i < count; ++i) TrackedDeleteArray(m_ppLodTables[i]);
    TrackedDeleteArray(m_ppLodTables);
  }
  TrackedDeleteArray(m_pTexCoords);
}

}  // namespace trt
