// The supplemental sections of tree data: what follows the core, read by
// CTreeRT::LoadTree and written by CTreeRT::SaveTree.
//
// Three reading styles occur: free order (inner tokens in any order until
// the end token), fixed order (each inner token expected at its place) and
// direct value (the start token and one value). Every reader sets a parse
// context, so data that ends inside a section fails with "premature end of
// file reached parsing <section>"; sections that have their own text for
// it use that text as the context's name.
#include <algorithm>
#include <cstring>

#include "treeruntime/frond_engine.h"
#include "treeruntime/indexed_geometry.h"
#include "treeruntime/leaf_geometry.h"
#include "treeruntime/lighting_engine.h"
#include "treeruntime/projected_shadow.h"
#include "treeruntime/texture_flip.h"
#include "treeruntime/tree_engine.h"
#include "treeruntime/tree_file_access.h"
#include "treeruntime/tree_map_bank.h"
#include "treeruntime/tree_rt.h"
#include "treeruntime/wind_matrices.h"

namespace trt {
namespace {

namespace section {
constexpr std::int32_t kLighting = 8000;
constexpr std::int32_t kLod = 9000;
constexpr std::int32_t kTexCoords = 10000;
constexpr std::int32_t kNewWind = 11000;
constexpr std::int32_t kCollision = 12000;
constexpr std::int32_t kFrondTexture = 13000;
constexpr std::int32_t kTextureControls = 15000;
constexpr std::int32_t kFlare = 16000;
constexpr std::int32_t kPlacementSeed = 16013;
constexpr std::int32_t kLodValue = 16014;
constexpr std::int32_t kShadow = 18000;
constexpr std::int32_t kUserData = 19000;
constexpr std::int32_t kSupplementalTexCoords = 20000;
constexpr std::int32_t kRockingScale = 21000;
constexpr std::int32_t kRustlingScale = 21001;
constexpr std::int32_t kFlag22000 = 22000;
constexpr std::int32_t kLightSeam = 23000;
constexpr std::int32_t kLeafPlacement = 24000;
constexpr std::int32_t kSupplementalFrond = 25000;
constexpr std::int32_t kSupplementalBranch = 26000;
constexpr std::int32_t kFloor = 27000;
constexpr std::int32_t kNormalSmoothing = 28000;
constexpr std::int32_t kCluster = 29000;
constexpr std::int32_t kStandardShader = 30000;
constexpr std::int32_t kRootSupport = 40000;
constexpr std::int32_t kTexCoordControls = 50000;
constexpr std::int32_t kMapBank = 60000;
constexpr std::int32_t kMeshes = 71000;
constexpr std::int32_t kLeafMesh = 72000;
constexpr std::int32_t kSupplementalCollision = 73000;
constexpr std::int32_t kGlobal = 74000;
constexpr std::int32_t kSection75000 = 75000;
}  // namespace section

constexpr std::size_t kFloatBytes = 4;
constexpr int kEntryFloats = 8;
// Counts of levels of detail above this are refused rather than sizing
// absurd tables (the leaf LOD block has the same bound).
constexpr std::int32_t kMaxLodCount = CTreeEngine::kMaxLeafLodLevels;

[[noreturn]] void Malformed(const char* text) { throw TreeFileError("%s", text); }

// Fixed order: the next token must be `expected`.
void Expect(CTreeFileAccess& file, std::int32_t expected, const char* malformed) {
  if (file.ParseToken() != expected) Malformed(malformed);
}

void ParseFloats(CTreeFileAccess& file, float* values, int count) {
  for (int i = 0; i < count; ++i) values[i] = file.ParseFloat();
}

void SaveFloats(CTreeFileAccess& file, const float* values, int count) {
  for (int i = 0; i < count; ++i) file.SaveFloat(values[i]);
}

void SaveTokenFloat(CTreeFileAccess& file, std::int32_t token, float value) {
  file.SaveToken(token);
  file.SaveFloat(value);
}

void SaveTokenInt(CTreeFileAccess& file, std::int32_t token, std::int32_t value) {
  file.SaveToken(token);
  file.SaveToken(value);
}

void SaveTokenBool(CTreeFileAccess& file, std::int32_t token, bool value) {
  file.SaveToken(token);
  file.SaveBool(value);
}

// A table of n entries of eight floats: the count, then the floats (none
// allocated for n <= 0). The count is checked against the bytes left before
// anything is sized. `negateOdd` negates every second float as it is read.
void ParseTable(CTreeFileAccess& file, std::int32_t& count, float*& table, const char* tag, bool negateOdd) {
  const std::int32_t n = file.ParseToken();
  file.RequireCount(n, kEntryFloats * kFloatBytes);
  TrackedDeleteArray(table);
  count = n;
  if (n <= 0) return;
  table = TrackedNewArray<float>(static_cast<std::size_t>(n) * kEntryFloats, tag);
  ParseFloats(file, table, n * kEntryFloats);
  if (negateOdd) {
    for (std::int32_t i = 1; i < n * kEntryFloats; i += 2) table[i] = -table[i];
  }
}

void SaveTable(CTreeFileAccess& file, std::int32_t token, std::int32_t count, const float* table, bool negateOdd) {
  file.SaveToken(token);
  file.SaveToken(count);
  const std::int32_t held = table != nullptr ? static_cast<std::int32_t>(TrackedArrayCount(table) / kEntryFloats) : 0;
  for (std::int32_t i = 0; i < count * kEntryFloats; ++i) {
    // A table made in code shorter than its count is padded with zeros.
    const float value = i < held * kEntryFloats ? table[i] : 0.0f;
    file.SaveFloat(negateOdd && (i % 2) == 1 ? -value : value);
  }
}

}  // namespace

// --- reading ------------------------------------------------------------------------

void CTreeRT::ParseSupplementalSections(CTreeFileAccess& file) {
  RequireParts();
  m_bReadTexCoordControls = false;
  m_bReadMapBank = false;
  m_vSectionTokens.clear();
  if (!file.DataRemains()) return;
  std::int32_t token = file.ParseToken();
  for (;;) {
    m_vSectionTokens.push_back(token);
    const bool known = ParseSection(token, file);
    if (!file.DataRemains()) return;
    // Read even after an unknown token, which ends the reading: the token
    // read after it is not used.
    const std::int32_t next = file.ParseToken();
    if (!known) return;
    token = next;
  }
}

bool CTreeRT::ParseSection(std::int32_t token, CTreeFileAccess& file) {
  CTreeEngine& engine = *m_pEngine;
  switch (token) {
    case section::kLighting: ParseLightingInfo(file); return true;
    case section::kLod: ParseLodInfo(file); return true;
    case section::kTexCoords: ParseTextureCoordInfo(file); return true;
    case section::kNewWind: ParseNewWindInfo(file); return true;
    case section::kCollision: ParseCollisionObjects(file); return true;
    case section::kFrondTexture: m_pFrondEngine->ParseFrondTextureInfo(file); return true;
    case section::kTextureControls: ParseTextureControls(file); return true;
    case section::kFlare: ParseFlareInfo(file); return true;
    case section::kPlacementSeed: {
      CTreeFileAccess::CParseContext context(file, "placement seed");
      engine.m_nPlacementSeed = file.ParseToken();
      return true;
    }
    case section::kLodValue: {
      CTreeFileAccess::CParseContext context(file, "lod value");
      m_fLodValue16014 = file.ParseFloat();
      return true;
    }
    case section::kShadow: ParseShadowProjectionInfo(file); return true;
    case section::kUserData: ParseUserData(file); return true;
    case section::kSupplementalTexCoords:
      // Without embedded coordinates the section is not read: its first
      // inner token then stands where a start token is expected.
      if (m_pEmbeddedTexCoords != nullptr) ParseSupplementalTexCoordInfo(file);
      return true;
    case section::kRockingScale: {
      CTreeFileAccess::CParseContext context(file, "rocking scale");
      m_pWindEngine->m_fRockingScale = file.ParseFloat();
      return true;
    }
    case section::kRustlingScale: {
      CTreeFileAccess::CParseContext context(file, "rustling scale");
      m_pWindEngine->m_fRustlingScale = file.ParseFloat();
      return true;
    }
    case section::kFlag22000: {
      CTreeFileAccess::CParseContext context(file, "wind falloff flag");
      engine.m_bFlag22000 = file.ParseBool();
      return true;
    }
    case section::kLightSeam: ParseLightSeamReduction(file); return true;
    case section::kLeafPlacement: ParseSupplementalLeafPlacement(file); return true;
    case section::kSupplementalFrond: m_pFrondEngine->ParseSupplementalFrondInfo(file); return true;
    case section::kSupplementalBranch: ParseSupplementalBranchInfo(file); return true;
    case section::kFloor: ParseFloorInfo(file); return true;
    case section::kNormalSmoothing: ParseLeafNormalSmoothing(file); return true;
    case section::kCluster: ParseClusterInfo(file); return true;
    case section::kStandardShader: ParseStandardShaderInfo(file); return true;
    case section::kRootSupport: engine.m_pRootSupport->Parse(file); return true;
    case section::kTexCoordControls: ParseTexCoordControls(file); return true;
    case section::kMapBank:
      m_pMapBank->Parse(file);
      m_bReadMapBank = true;
      return true;
    case section::kMeshes: ParseMeshInfo(file); return true;
    case section::kLeafMesh: ParseLeafMeshInfo(file); return true;
    case section::kSupplementalCollision:
      if (m_pCollisionObjects != nullptr) ParseSupplementalCollision(file);
      return true;
    case section::kGlobal: ParseSupplementalGlobal(file); return true;
    case section::kSection75000: ParseSection75000(file); return true;
    default: return false;
  }
}

void CTreeRT::ParseLightingInfo(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "lighting information");
  CLightingEngine& lighting = *m_pLightingEngine;
  for (std::int32_t token = file.ParseToken(); token != 8001; token = file.ParseToken()) {
    switch (token) {
      case 8002: lighting.m_nBranchLightingMethod = file.ParseToken(); break;
      case 8003: ParseFloats(file, lighting.m_afBranchMaterial, CLightingEngine::kMaterialSize); break;
      case 8004: lighting.m_nLeafLightingMethod = file.ParseToken(); break;
      case 8005: ParseFloats(file, lighting.m_afLeafMaterial, CLightingEngine::kMaterialSize); break;
      case 8006: lighting.m_fLeafLightFloor = file.ParseFloat(); break;
      case 8007: lighting.m_nLeafLightingFlags = file.ParseToken(); break;
      case 8008: lighting.m_nFrondLightingMethod = file.ParseToken(); break;
      case 8009: ParseFloats(file, lighting.m_afFrondMaterial, CLightingEngine::kMaterialSize); break;
      default: Malformed("malformed lighting information");
    }
  }
}

void CTreeRT::ParseLodInfo(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "new lod info");
  for (std::int32_t token = file.ParseToken(); token != 9001; token = file.ParseToken()) {
    switch (token) {
      case 9002: m_nLodMode = file.ParseToken(); break;
      case 9003: m_fLodValue9003 = file.ParseFloat(); break;
      case 9004: m_fLodValue9004 = file.ParseFloat(); break;
      case 9009: m_fLeafLodSizeFactor = file.ParseFloat(); break;
      case 9005: ParseEngineLodInfo(file); break;
      default: Malformed("malformed lod info");
    }
  }
}

void CTreeRT::ParseEngineLodInfo(CTreeFileAccess& file) {
  constexpr const char* kMalformedEngineLod = "malformed engine lod data";
  CTreeEngine& engine = *m_pEngine;
  // A negative or absurd count of levels of detail would size the branch
  // and leaf tables by it.
  auto count = [&] {
    const std::int32_t n = file.ParseToken();
    if (n < 0 || n > kMaxLodCount) Malformed(kMalformedEngineLod);
    return n;
  };
  for (std::int32_t token = file.ParseToken(); token != 9006; token = file.ParseToken()) {
    switch (token) {
      case 9007: engine.m_nNumBranchLods = count(); break;
      case 9008: engine.m_fSmallestBranchLod = file.ParseFloat(); break;
      case 9010: engine.m_fLeafLodKeepThreshold = file.ParseFloat(); break;
      case 9011: engine.m_cLeafInfo.m_nNumLeafLods = count(); break;
      case 9012: engine.m_fLargestBranchLod = file.ParseFloat(); break;
      case 9013: engine.m_fBranchWeightBlend = file.ParseFloat(); break;
      case 9014: engine.m_fBranchWeightThreshold = file.ParseFloat(); break;
      default: Malformed(kMalformedEngineLod);
    }
  }
}

void CTreeRT::ParseTextureCoordInfo(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "texture coordinate info");
  TrackedDelete(m_pEmbeddedTexCoords);
  SEmbeddedTexCoords& coords = MakeEmbeddedTexCoords();
  for (std::int32_t token = file.ParseToken(); token != 10001; token = file.ParseToken()) {
    switch (token) {
      case 10002:
        ParseTable(file, coords.m_nNumLeafMaps, coords.m_pLeafTexCoords,
                   "CTreeRT::ParseTextureCoordInfo, m_pEmbeddedTexCoords->m_pLeafTexCoords", false);
        break;
      case 10003:
        ParseTable(file, coords.m_nNumBillboards, coords.m_pBillboardTexCoords,
                   "CTreeRT::ParseTextureCoordInfo, m_pEmbeddedTexCoords->m_pBillboardTexCoords",
                   GetTextureFlipFlag());
        break;
      case 10004:
        ParseTable(file, coords.m_nNumFrondMaps, coords.m_pFrondTexCoords,
                   "CTreeRT::ParseTextureCoordInfo, m_pEmbeddedTexCoords->m_pFrondTexCoords", false);
        break;
      case 10005: coords.m_strCompositeMap = StripDirectories(file.ParseString()); break;
      case 10006: m_bHorizontalBillboard = file.ParseBool(); break;
      case 10007: m_bFirstTexCoordFlag = file.ParseBool(); break;
      default: Malformed("malformed texture coord info");
    }
  }
}

void CTreeRT::ParseNewWindInfo(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "new wind info");
  for (std::int32_t token = file.ParseToken(); token != 11001; token = file.ParseToken()) {
    if (token != 11002) Malformed("malformed new wind info");
    m_pEngine->m_nWindLevel = file.ParseToken();
  }
}

void CTreeRT::ParseCollisionObjects(CTreeFileAccess& file) {
  constexpr const char* kMalformedCollision = "malformed collision object info";
  CTreeFileAccess::CParseContext context(file, "collision object info");
  TrackedDelete(m_pCollisionObjects);
  TreeVector<SCollisionObject>& objects = MakeCollisionObjects();
  std::int32_t token = file.ParseToken();
  // At least one object: an end token in first place is malformed.
  do {
    SCollisionObject object;
    int dimensions = 0;
    switch (token) {
      case 12002: object.m_uType = SCollisionObject::kSphere; dimensions = 1; break;
      case 12003: object.m_uType = SCollisionObject::kCylinder; dimensions = 2; break;
      case 12004: object.m_uType = SCollisionObject::kBox; dimensions = 3; break;
      default: Malformed(kMalformedCollision);
    }
    ParseFloats(file, object.m_afPosition, 3);
    ParseFloats(file, object.m_afDimensions, dimensions);
    objects.push_back(object);
    token = file.ParseToken();
  } while (token != 12001);
}

void CTreeRT::ParseTextureControls(CTreeFileAccess& file) {
  constexpr const char* kMalformedControls = "malformed texture controls";
  CTreeFileAccess::CParseContext context(file, "texture controls");
  for (std::size_t i = 0; i < m_pEngine->m_vBranchLevels.size(); ++i) {
    m_pEngine->ChangeBranchLevel(i, [&](STreeBranchInfo& level) {
      for (std::int32_t token : {15002, 15003}) {
        Expect(file, token, kMalformedControls);
        level.ParseSupplementalField(token, file);
      }
    });
  }
  Expect(file, 15001, kMalformedControls);
}

void CTreeRT::ParseFlareInfo(CTreeFileAccess& file) {
  constexpr const char* kMalformedFlare = "malformed flare info";
  CTreeFileAccess::CParseContext context(file, "flare info");
  for (std::size_t i = 0; i < m_pEngine->m_vBranchLevels.size(); ++i) {
    m_pEngine->ChangeBranchLevel(i, [&](STreeBranchInfo& level) {
      for (std::int32_t token = 16002; token <= 16012; ++token) {
        Expect(file, token, kMalformedFlare);
        level.ParseSupplementalField(token, file);
      }
    });
  }
  Expect(file, 16001, kMalformedFlare);
}

void CTreeRT::ParseShadowProjectionInfo(CTreeFileAccess& file) {
  TrackedDelete(m_pProjectedShadow);
  MakeProjectedShadow().Parse(file);
}

void CTreeRT::ParseUserData(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "user data");
  for (std::int32_t token = file.ParseToken(); token != 19001; token = file.ParseToken()) {
    // Other inner tokens carry no value and are passed over.
    if (token == 19002) {
      const std::string text = file.ParseString();
      // The text ends at its first terminator, as the writer wrote it.
      SetUserData(text.c_str());
    }
  }
}

void CTreeRT::ParseSupplementalTexCoordInfo(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "texture coordinate info");
  SEmbeddedTexCoords& coords = *m_pEmbeddedTexCoords;
  for (std::int32_t token = file.ParseToken(); token != 20001; token = file.ParseToken()) {
    switch (token) {
      case 20002: coords.m_strCompositeMap = StripDirectories(file.ParseString()); break;
      case 20003: m_bHorizontalBillboard = file.ParseBool(); break;
      case 20004: m_bFirstTexCoordFlag = file.ParseBool(); break;
      case 20005: ParseFloats(file, coords.m_afCompositeTexCoords, kEntryFloats); break;
      default: Malformed("malformed texture coord info");
    }
  }
}

void CTreeRT::ParseLightSeamReduction(CTreeFileAccess& file) {
  constexpr const char* kMalformedSeam = "malformed light seam reduction info";
  CTreeFileAccess::CParseContext context(file, "light seam reduction info");
  for (std::size_t i = 0; i < m_pEngine->m_vBranchLevels.size(); ++i) {
    m_pEngine->ChangeBranchLevel(i, [&](STreeBranchInfo& level) {
      for (std::int32_t token : {23002, 23003}) {
        Expect(file, token, kMalformedSeam);
        level.ParseSupplementalField(token, file);
      }
    });
  }
  Expect(file, 23001, kMalformedSeam);
}

void CTreeRT::ParseSupplementalLeafPlacement(CTreeFileAccess& file) {
  constexpr const char* kMalformedPlacement = "malformed supplemental leaf placement info";
  CTreeFileAccess::CParseContext context(file, "supplemental leaf placement info");
  STreeLeafInfo& leaves = m_pEngine->m_cLeafInfo;
  Expect(file, 24002, kMalformedPlacement);
  leaves.m_fPlacementValue = file.ParseFloat();
  Expect(file, 24003, kMalformedPlacement);
  leaves.m_nPlacementInt = file.ParseToken();
  Expect(file, 24001, kMalformedPlacement);
}

void CTreeRT::ParseSupplementalBranchInfo(CTreeFileAccess& file) {
  constexpr const char* kMalformedBranch = "malformed supplemental branch info";
  CTreeFileAccess::CParseContext context(file, "supplemental branch info");
  for (std::size_t i = 0; i < m_pEngine->m_vBranchLevels.size(); ++i) {
    m_pEngine->ChangeBranchLevel(i, [&](STreeBranchInfo& level) {
      Expect(file, 26002, kMalformedBranch);
      for (std::int32_t token = file.ParseToken(); token != 26003; token = file.ParseToken()) {
        // Only the fields of this section (26004 .. 26023).
        if (token < 26004 || token > 26023 || !level.ParseSupplementalField(token, file)) {
          Malformed(kMalformedBranch);
        }
      }
    });
  }
  Expect(file, 26001, kMalformedBranch);
}

void CTreeRT::ParseFloorInfo(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "floor info");
  CTreeEngine& engine = *m_pEngine;
  for (std::int32_t token = file.ParseToken(); token != 27001; token = file.ParseToken()) {
    switch (token) {
      case 27002: engine.m_bFloorEnabled = file.ParseBool(); break;
      case 27003: engine.m_fFloorHeight = file.ParseFloat(); break;
      case 27004: engine.m_nFloorLevel = file.ParseToken(); break;
      case 27005: engine.m_fFloorExponent = file.ParseFloat(); break;
      case 27006: engine.m_fFloorScale = file.ParseFloat(); break;
      default: Malformed("malformed floor info");
    }
  }
}

void CTreeRT::ParseLeafNormalSmoothing(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "leaf normal smoothing info");
  STreeLeafInfo& leaves = m_pEngine->m_cLeafInfo;
  for (std::int32_t token = file.ParseToken(); token != 28001; token = file.ParseToken()) {
    switch (token) {
      case 28002: leaves.m_bNormalSmoothing = file.ParseBool(); break;
      case 28003: leaves.m_fNormalSmoothingValue = file.ParseFloat(); break;
      case 28004: leaves.m_nNormalSmoothingInt = file.ParseToken(); break;
      default: Malformed("malformed leaf normal smoothing info");
    }
  }
}

void CTreeRT::ParseClusterInfo(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "cluster info");
  for (std::int32_t token = file.ParseToken(); token != 29001; token = file.ParseToken()) {
    if (token != 29002) Malformed("malformed cluster info");
    m_pEngine->m_nClusterLevel = file.ParseToken();
  }
}

void CTreeRT::ParseStandardShaderInfo(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "standard shader support info");
  for (std::int32_t token = file.ParseToken(); token != 30001; token = file.ParseToken()) {
    // Members in the order 30002 .. 30007, 30009, 30008.
    int member = -1;
    if (token >= 30002 && token <= 30007) member = token - 30002;
    if (token == 30009) member = 6;
    if (token == 30008) member = 7;
    if (member < 0) Malformed("malformed standard shader support info");
    m_afStandardShader[member] = file.ParseFloat();
  }
}

void CTreeRT::ParseTexCoordControls(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "tex coord controls");
  auto parseLayers = [&](STreeBranchInfo& level) {
    for (STreeTextureLayer& layer : level.m_acTextureLayers) layer.Parse(file);
  };
  for (std::size_t i = 0; i < m_pEngine->m_vBranchLevels.size(); ++i) m_pEngine->ChangeBranchLevel(i, parseLayers);
  parseLayers(m_pEngine->m_pRootSupport->m_sBranch);
  Expect(file, 50001, "malformed tex coord controls");
  m_bReadTexCoordControls = true;
}

void CTreeRT::ParseMeshInfo(CTreeFileAccess& file) {
  constexpr const char* kMalformedMesh = "malformed mesh info";
  CTreeFileAccess::CParseContext context(file, "mesh info");
  TreeVector<STreeMesh*>& meshes = m_pEngine->m_vMeshes;
  for (STreeMesh*& mesh : meshes) TrackedDelete(mesh);
  meshes.clear();
  for (std::int32_t token = file.ParseToken(); token != 71015; token = file.ParseToken()) {
    switch (token) {
      case 71001: {
        // The smallest mesh is 71002 71014.
        const std::int32_t count = file.ParseToken();
        if (count < 0) Malformed(kMalformedMesh);
        file.RequireCount(count, 8);
        meshes.reserve(meshes.size() + static_cast<std::size_t>(count));
        break;
      }
      case 71002: {
        STreeMesh* mesh = TrackedNew<STreeMesh>("CTreeRT::ParseMeshInfo, pMesh");
        try {
          mesh->Parse(file);
          meshes.push_back(mesh);
        } catch (...) {
          TrackedDelete(mesh);
          throw;
        }
        break;
      }
      default: Malformed(kMalformedMesh);
    }
  }
}

void CTreeRT::ParseLeafMeshInfo(CTreeFileAccess& file) {
  constexpr const char* kMalformedLeafMesh = "malformed leaf mesh info";
  CTreeFileAccess::CParseContext context(file, "leaf mesh info");
  TreeVector<STreeLeafMap>& maps = m_pEngine->m_cLeafInfo.m_vLeafMaps;
  std::size_t next = 0;
  for (std::int32_t token = file.ParseToken(); token != 72004; token = file.ParseToken()) {
    if (token != 7000) Malformed(kMalformedLeafMesh);
    // Blocks beyond the engine's leaf maps are read into a scratch record
    // and dropped.
    STreeLeafMap dropped;
    STreeLeafMap& map = next < maps.size() ? maps[next] : dropped;
    ++next;
    for (std::int32_t field = file.ParseToken(); field != 7001; field = file.ParseToken()) {
      switch (field) {
        case 72001: map.m_bUseMesh = file.ParseBool(); break;
        case 72002: file.ParseToken(); break;
        case 72003: map.m_nMeshIndex = file.ParseToken(); break;
        case 72005: map.m_fMeshUpBlend = file.ParseFloat(); break;
        case 72006: map.m_fMeshSpinRange = file.ParseFloat(); break;
        default: Malformed(kMalformedLeafMesh);
      }
    }
  }
}

void CTreeRT::ParseSupplementalCollision(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "supplemental collision object info");
  for (SCollisionObject& object : *m_pCollisionObjects) {
    Expect(file, 73002, "malformed supplemental collision object info");
    for (std::int32_t token = file.ParseToken(); token != 73003; token = file.ParseToken()) {
      // Other inner tokens carry no value and are passed over.
      if (token >= 73004 && token <= 73006) object.m_afExtra[token - 73004] = file.ParseFloat();
    }
  }
  if (file.ParseToken() != 73001) Malformed("too many collision objects specified in supplemental info");
}

void CTreeRT::ParseSupplementalGlobal(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "supplemental global info");
  for (std::int32_t token = file.ParseToken(); token != 74001; token = file.ParseToken()) {
    if (token != 74002) Malformed("malformed supplemental global info");
    m_pEngine->m_fGlobalValue = file.ParseFloat();
  }
}

void CTreeRT::ParseSection75000(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "section 75000");
  for (std::int32_t token = file.ParseToken(); token != 75001; token = file.ParseToken()) {
    // Other inner tokens carry no value and are passed over.
    switch (token) {
      case 75002: m_fBranchValue75 = file.ParseFloat(); break;
      case 75003: m_fFrondValue75 = file.ParseFloat(); break;
      case 75004:
        m_bFrondFlag75 = file.ParseBool();
        if (m_bFrondFlag75 && m_pFrondEngine != nullptr) m_pFrondEngine->SetFullResolution();
        break;
      case 75005: m_fBillboardValue75 = file.ParseFloat(); break;
      default: break;
    }
  }
}

// --- writing ------------------------------------------------------------------------

void CTreeRT::SaveSections(CTreeFileAccess& file) const {
  const CTreeEngine& engine = *m_pEngine;
  const CLightingEngine& lighting = *m_pLightingEngine;

  file.SaveToken(section::kLighting);
  SaveTokenInt(file, 8002, lighting.m_nBranchLightingMethod);
  file.SaveToken(8003);
  SaveFloats(file, lighting.m_afBranchMaterial, CLightingEngine::kMaterialSize);
  SaveTokenInt(file, 8004, lighting.m_nLeafLightingMethod);
  file.SaveToken(8005);
  SaveFloats(file, lighting.m_afLeafMaterial, CLightingEngine::kMaterialSize);
  SaveTokenFloat(file, 8006, lighting.m_fLeafLightFloor);
  SaveTokenInt(file, 8007, lighting.m_nLeafLightingFlags);
  SaveTokenInt(file, 8008, lighting.m_nFrondLightingMethod);
  file.SaveToken(8009);
  SaveFloats(file, lighting.m_afFrondMaterial, CLightingEngine::kMaterialSize);
  file.SaveToken(8001);

  file.SaveToken(section::kLod);
  SaveTokenInt(file, 9002, m_nLodMode);
  SaveTokenFloat(file, 9003, m_fLodValue9003);
  SaveTokenFloat(file, 9004, m_fLodValue9004);
  SaveTokenFloat(file, 9009, m_fLeafLodSizeFactor);
  file.SaveToken(9005);
  SaveTokenInt(file, 9007, engine.m_nNumBranchLods);
  SaveTokenFloat(file, 9008, engine.m_fSmallestBranchLod);
  SaveTokenFloat(file, 9010, engine.m_fLeafLodKeepThreshold);
  SaveTokenInt(file, 9011, engine.m_cLeafInfo.m_nNumLeafLods);
  SaveTokenFloat(file, 9012, engine.m_fLargestBranchLod);
  SaveTokenFloat(file, 9013, engine.m_fBranchWeightBlend);
  SaveTokenFloat(file, 9014, engine.m_fBranchWeightThreshold);
  file.SaveToken(9006);
  file.SaveToken(9001);

  file.SaveToken(section::kNewWind);
  SaveTokenInt(file, 11002, engine.m_nWindLevel);
  file.SaveToken(11001);

  if (m_pEmbeddedTexCoords != nullptr) {
    const SEmbeddedTexCoords& coords = *m_pEmbeddedTexCoords;
    file.SaveToken(section::kTexCoords);
    SaveTable(file, 10002, coords.m_nNumLeafMaps, coords.m_pLeafTexCoords, false);
    SaveTable(file, 10003, coords.m_nNumBillboards, coords.m_pBillboardTexCoords, GetTextureFlipFlag());
    SaveTable(file, 10004, coords.m_nNumFrondMaps, coords.m_pFrondTexCoords, false);
    file.SaveToken(10001);
  }

  if (m_pCollisionObjects != nullptr) {
    file.SaveToken(section::kCollision);
    for (const SCollisionObject& object : *m_pCollisionObjects) {
      const std::uint32_t type = std::min<std::uint32_t>(object.m_uType, SCollisionObject::kBox);
      file.SaveToken(12002 + static_cast<std::int32_t>(type));
      SaveFloats(file, object.m_afPosition, 3);
      SaveFloats(file, object.m_afDimensions, static_cast<int>(type) + 1);
    }
    file.SaveToken(12001);
  }

  m_pFrondEngine->SaveFrondTextureInfo(file);

  file.SaveToken(section::kTextureControls);
  for (const STreeBranchInfo* level : engine.m_vBranchLevels) {
    SaveTokenBool(file, 15002, level->m_acTextureLayers[0].m_bFlag3);
    SaveTokenFloat(file, 15003, level->m_acTextureLayers[0].m_fValue3);
  }
  file.SaveToken(15001);

  file.SaveToken(section::kFlare);
  for (const STreeBranchInfo* level : engine.m_vBranchLevels) {
    SaveTokenFloat(file, 16002, level->m_fSegmentExponent);
    SaveTokenInt(file, 16003, level->m_nNumFlares);
    for (int i = 0; i < STreeBranchInfo::kNumFlareValues; ++i) SaveTokenFloat(file, 16004 + i, level->m_afFlareValues[i]);
  }
  file.SaveToken(16001);

  SaveTokenInt(file, section::kPlacementSeed, engine.m_nPlacementSeed);
  SaveTokenFloat(file, section::kLodValue, m_fLodValue16014);

  if (m_pProjectedShadow != nullptr) m_pProjectedShadow->Save(file);

  if (m_pUserData != nullptr) {
    file.SaveToken(section::kUserData);
    file.SaveToken(19002);
    file.SaveString(std::string_view(m_pUserData, std::strlen(m_pUserData)));
    file.SaveToken(19001);
  }

  if (m_pEmbeddedTexCoords != nullptr) {
    file.SaveToken(section::kSupplementalTexCoords);
    file.SaveToken(20002);
    file.SaveString(StripDirectories(m_pEmbeddedTexCoords->m_strCompositeMap));
    SaveTokenBool(file, 20003, m_bHorizontalBillboard);
    SaveTokenBool(file, 20004, m_bFirstTexCoordFlag);
    file.SaveToken(20005);
    SaveFloats(file, m_pEmbeddedTexCoords->m_afCompositeTexCoords, kEntryFloats);
    file.SaveToken(20001);
  }

  SaveTokenFloat(file, section::kRockingScale, m_pWindEngine->m_fRockingScale);
  SaveTokenFloat(file, section::kRustlingScale, m_pWindEngine->m_fRustlingScale);
  SaveTokenBool(file, section::kFlag22000, engine.m_bFlag22000);

  m_pFrondEngine->SaveSupplementalFrondInfo(file);

  file.SaveToken(section::kSupplementalBranch);
  for (const STreeBranchInfo* level : engine.m_vBranchLevels) {
    file.SaveToken(26002);
    level->SaveSupplementalBranchFields(file);
    file.SaveToken(26003);
  }
  file.SaveToken(26001);

  file.SaveToken(section::kFloor);
  SaveTokenBool(file, 27002, engine.m_bFloorEnabled);
  SaveTokenFloat(file, 27003, engine.m_fFloorHeight);
  SaveTokenInt(file, 27004, engine.m_nFloorLevel);
  SaveTokenFloat(file, 27005, engine.m_fFloorExponent);
  SaveTokenFloat(file, 27006, engine.m_fFloorScale);
  file.SaveToken(27001);

  const STreeLeafInfo& leaves = engine.m_cLeafInfo;
  file.SaveToken(section::kNormalSmoothing);
  SaveTokenBool(file, 28002, leaves.m_bNormalSmoothing);
  SaveTokenFloat(file, 28003, leaves.m_fNormalSmoothingValue);
  SaveTokenInt(file, 28004, leaves.m_nNormalSmoothingInt);
  file.SaveToken(28001);

  file.SaveToken(section::kCluster);
  SaveTokenInt(file, 29002, engine.m_nClusterLevel);
  file.SaveToken(29001);

  file.SaveToken(section::kStandardShader);
  for (int member = 0; member < 6; ++member) SaveTokenFloat(file, 30002 + member, m_afStandardShader[member]);
  SaveTokenFloat(file, 30008, m_afStandardShader[7]);
  SaveTokenFloat(file, 30009, m_afStandardShader[6]);
  file.SaveToken(30001);

  engine.m_pRootSupport->Save(file);

  file.SaveToken(section::kTexCoordControls);
  for (const STreeBranchInfo* level : engine.m_vBranchLevels) {
    for (const STreeTextureLayer& layer : level->m_acTextureLayers) layer.Save(file);
  }
  for (const STreeTextureLayer& layer : engine.m_pRootSupport->m_sBranch.m_acTextureLayers) layer.Save(file);
  file.SaveToken(50001);

  m_pMapBank->Save(file);

  file.SaveToken(section::kMeshes);
  SaveTokenInt(file, 71001, static_cast<std::int32_t>(engine.m_vMeshes.size()));
  for (const STreeMesh* mesh : engine.m_vMeshes) mesh->Save(file);
  file.SaveToken(71015);

  file.SaveToken(section::kLeafMesh);
  for (const STreeLeafMap& map : leaves.m_vLeafMaps) {
    file.SaveToken(7000);
    SaveTokenBool(file, 72001, map.m_bUseMesh);
    SaveTokenInt(file, 72003, map.m_nMeshIndex);
    SaveTokenFloat(file, 72005, map.m_fMeshUpBlend);
    SaveTokenFloat(file, 72006, map.m_fMeshSpinRange);
    file.SaveToken(7001);
  }
  file.SaveToken(72004);

  if (m_pCollisionObjects != nullptr && !m_pCollisionObjects->empty()) {
    file.SaveToken(section::kSupplementalCollision);
    for (const SCollisionObject& object : *m_pCollisionObjects) {
      file.SaveToken(73002);
      for (int k = 0; k < 3; ++k) SaveTokenFloat(file, 73004 + k, object.m_afExtra[k]);
      file.SaveToken(73003);
    }
    file.SaveToken(73001);
  }

  file.SaveToken(section::kGlobal);
  SaveTokenFloat(file, 74002, engine.m_fGlobalValue);
  file.SaveToken(74001);

  file.SaveToken(section::kSection75000);
  SaveTokenFloat(file, 75002, m_fBranchValue75);
  SaveTokenFloat(file, 75003, m_fFrondValue75);
  SaveTokenBool(file, 75004, m_bFrondFlag75);
  SaveTokenFloat(file, 75005, m_fBillboardValue75);
  file.SaveToken(75001);
}

}  // namespace trt
