#include "treeruntime/tree_engine.h"

#include <algorithm>

#include "treeruntime/branch.h"
#include "treeruntime/indexed_geometry.h"
#include "treeruntime/leaf_lod_builder.h"

namespace trt {
namespace {

namespace token {
constexpr std::int32_t kBeginFile = 1000;
constexpr std::int32_t kEndFile = 1001;
constexpr std::int32_t kGeneralBegin = 1002;
constexpr std::int32_t kGeneralEnd = 1003;
constexpr std::int32_t kLeafInfoBegin = 1004;
constexpr std::int32_t kWindInfoBegin = 1011;
constexpr std::int32_t kBranchListBegin = 1014;
constexpr std::int32_t kBranchListEnd = 1015;
constexpr std::int32_t kLeafLodsBegin = 7000;
constexpr std::int32_t kLeafLodsEnd = 7001;
constexpr std::int32_t kLevelBegin = 7002;
constexpr std::int32_t kLevelEnd = 7003;
constexpr std::int32_t kBillboardLeaf = 7004;
}  // namespace token

constexpr const char* kMalformedFile = "malformed SPT tree file";
constexpr const char* kMalformedGeneral = "malformed general tree information";
constexpr const char* kMalformedBranchData = "malformed branch data";
constexpr const char* kMalformedLeafLods = "malformed leaf lod data";

// The smallest branch-level record: 1016, one field token with a byte, 1017.
constexpr std::size_t kMinBranchRecordBytes = 13;

}  // namespace

CTreeEngine::CTreeEngine(CIndexedGeometry* pBranchGeometry) : m_pBranchGeometry(pBranchGeometry) {
  // Vector B and the value of the wind information follow from vector A.
  const stVec3& a = m_cWindInfo.m_vVectorA;
  m_cWindInfo.m_vVectorB = stVec3(-45.0f * a.x, 45.0f * a.x, 2.0f * a.y);
  m_cWindInfo.m_fValue = 0.25f;
  m_pRootSupport = TrackedNew<STreeRootSupport>("CTreeEngine::CTreeEngine, m_pRootSupport");
}

CTreeEngine::~CTreeEngine() {
  // The tree model frees the transient data before it destroys the engine;
  // an engine used on its own must not leak it either.
  FreeTransientData();
}

// --- reading ------------------------------------------------------------------

bool CTreeEngine::Parse(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "SPT tree file");
  if (file.ParseToken() != token::kBeginFile) throw TreeFileError("missing begin_file token");
  if (file.ParseString() != kHeader) throw TreeFileError("not a valid SPT tree file");

  // At least one section stands between the header and 1001.
  std::int32_t section = file.ParseToken();
  do {
    switch (section) {
      case token::kGeneralBegin: ParseGeneralTreeInfo(file); break;
      case token::kLeafInfoBegin: m_cLeafInfo.Parse(file); break;
      case token::kWindInfoBegin: m_cWindInfo.Parse(file); break;
      default: throw TreeFileError("%s", kMalformedFile);
    }
    section = file.ParseToken();
  } while (section != token::kEndFile);

  // Anything else after 1001 belongs to the supplemental reader; fewer than
  // four bytes cannot hold a token and stay unread as well.
  if (file.BytesRemaining() >= sizeof(std::int32_t) && file.PeekToken() == token::kLeafLodsBegin) {
    file.ParseToken();
    ParseLeafCluster(file);
  }

  if (m_fOverrideSize > -1.0f) {
    m_fSize = m_fOverrideSize;
    m_fSizeVariance = m_fOverrideVariance;
  }
  return true;
}

void CTreeEngine::ParseGeneralTreeInfo(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "general tree information");
  std::int32_t field = file.ParseToken();
  do {
    switch (field) {
      case 2000: file.ParseString(m_strBranchTexture); break;
      case 2001: m_fValue2001 = file.ParseFloat(); break;
      case 2002: file.ParseByte(); break;
      case 2003: m_fValue2003 = file.ParseFloat(); break;
      case 2004: file.ParseToken(); break;
      case 2005: {
        const std::int32_t seed = file.ParseToken();
        if (seed == 0) {
          // A fresh seed for every load.
          CTreeRandom::Seed(-1);
          m_nSeed = TruncateToInt(CTreeRandom::GetUniform(2.0f, 1000000.0f));
        } else if (seed != 1) {
          m_nSeed = seed;
        }
        break;
      }
      case 2006: m_fSize = file.ParseFloat(); break;
      case 2007: m_fSizeVariance = file.ParseFloat(); break;
      case token::kBranchListBegin: ParseBranchData(file); break;
      default: throw TreeFileError("%s", kMalformedGeneral);
    }
    field = file.ParseToken();
  } while (field != token::kGeneralEnd);
}

void CTreeEngine::ParseBranchData(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "branch data");
  FreeBranchLevels();
  const std::int32_t count = file.ParseToken();
  file.RequireCount(count, kMinBranchRecordBytes);
  if (count > 0) {
    // Reserved up front so that appending a parsed record cannot fail and
    // lose it; the count is bounded by the data left.
    m_vBranchLevels.reserve(static_cast<std::size_t>(count));
    // Each record is read into a level on the stack and kept only when it
    // differs from the defaults: the smallest record is 13 bytes while a
    // level is about 1 KB, so hostile data of many records that say nothing
    // must not cost a level each.
    const STreeBranchInfo defaults;
    for (std::int32_t i = 0; i < count; ++i) {
      STreeBranchInfo level;
      level.ParseInto(file);
      if (level.SameAs(defaults)) {
        m_vBranchLevels.push_back(&SharedLevel());
      } else {
        m_vBranchLevels.push_back(TrackedNew<STreeBranchInfo>("CTreeEngine::ParseBranchData, level", std::move(level)));
      }
    }
  }
  if (file.ParseToken() != token::kBranchListEnd) throw TreeFileError("%s", kMalformedBranchData);
}

void CTreeEngine::ParseLeafCluster(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "leaf lod data");
  const std::int32_t levels = file.ParseToken();
  if (levels > kMaxLeafLodLevels) throw TreeFileError("%s", kMalformedLeafLods);
  m_cLeafInfo.m_nNumLeafLods = levels;
  FreeLeafLods();
  m_pLeafLods = TrackedNewArray<TreeVector<SBillboardLeaf>>(static_cast<std::size_t>(std::max(levels, 0)),
                                                            "CTreeEngine::ParseLeafCluster, m_pLeafLods");

  std::int32_t level = 0;
  for (std::int32_t next = file.ParseToken(); next != token::kLeafLodsEnd; next = file.ParseToken()) {
    if (level >= levels) throw TreeFileError("too many leaf lod levels");
    if (next != token::kLevelBegin) throw TreeFileError("%s", kMalformedLeafLods);
    TreeVector<SBillboardLeaf>& list = m_pLeafLods[level];
    for (std::int32_t inner = file.ParseToken(); inner != token::kLevelEnd; inner = file.ParseToken()) {
      if (inner != token::kBillboardLeaf) throw TreeFileError("%s", kMalformedLeafLods);
      SBillboardLeaf leaf;
      leaf.Parse(file);
      list.push_back(leaf);
    }
    ++level;
  }
  m_bLeafLodsLoaded = true;
}

// --- writing ------------------------------------------------------------------

void CTreeEngine::Save(CTreeFileAccess& file, bool bSaveLeafLods) const {
  file.SaveToken(token::kBeginFile);
  file.SaveString(kHeader);

  file.SaveToken(token::kGeneralBegin);
  file.SaveToken(2000);
  file.SaveString(m_strBranchTexture);
  file.SaveToken(2001);
  file.SaveFloat(m_fValue2001);
  file.SaveToken(2002);
  file.SaveByte(0);
  file.SaveToken(2003);
  file.SaveFloat(m_fValue2003);
  file.SaveToken(2005);
  file.SaveToken(m_nSeed);
  file.SaveToken(2006);
  file.SaveFloat(m_fSize);
  file.SaveToken(2004);
  file.SaveToken(0);
  file.SaveToken(2007);
  file.SaveFloat(m_fSizeVariance);
  file.SaveToken(token::kBranchListBegin);
  file.SaveToken(static_cast<std::int32_t>(m_vBranchLevels.size()));
  for (const STreeBranchInfo* level : m_vBranchLevels) level->Save(file);
  file.SaveToken(token::kBranchListEnd);
  file.SaveToken(token::kGeneralEnd);

  m_cLeafInfo.Save(file);
  m_cWindInfo.Save(file);
  file.SaveToken(token::kEndFile);

  if (bSaveLeafLods) SaveLeafCluster(file);
}

void CTreeEngine::SaveLeafCluster(CTreeFileAccess& file) const {
  if (m_pLeafLods == nullptr) return;
  const std::int32_t levels = GetNumLeafLods();
  file.SaveToken(token::kLeafLodsBegin);
  file.SaveToken(levels);
  // The leaf LOD count may have changed since the array was made (token
  // 9011); the count written rules, and the levels follow it.
  const std::uint32_t held = TrackedArrayCount(m_pLeafLods);
  for (std::int32_t level = 0; level < levels; ++level) {
    file.SaveToken(token::kLevelBegin);
    if (static_cast<std::uint32_t>(level) < held) {
      for (const SBillboardLeaf& leaf : m_pLeafLods[level]) leaf.Save(file);
    }
    file.SaveToken(token::kLevelEnd);
  }
  file.SaveToken(token::kLeafLodsEnd);
}

void CTreeEngine::Compute(float fLeafSpacing) {
  SBranchSettings& st = CBranch::Settings();
  // The compute's work budget, given up however the compute ends.
  struct Budget {
    SBranchSettings& st;
    explicit Budget(SBranchSettings& settings) : st(settings) {
      st.m_bWorkBudget = true;
      st.m_uWorkLeft = kComputeWorkBudget;
    }
    ~Budget() { st.m_bWorkBudget = false; }
  } budget(st);
  // 1., 2.
  st.m_bLeavesNeedPlacement = !m_bLeafLodsLoaded;
  TrackedDelete(m_pBranch);
  m_pBranch = TrackedNew<CBranch>("CTreeEngine::Compute, m_pBranch", nullptr, false);
  if (!m_bLeafLodsLoaded) {
    FreeLeafLods();
    m_pLeafLods = TrackedNewArray<TreeVector<SBillboardLeaf>>(static_cast<std::size_t>(std::max(GetNumLeafLods(), 0)),
                                                              "CTreeEngine::Compute, m_pLeafLods");
  }
  // 3.
  st.m_nWindLevel = m_nWindLevel;
  st.m_pLeafInfo = &m_cLeafInfo;
  st.m_vLevels.clear();
  for (const STreeBranchInfo* level : m_vBranchLevels) st.m_vLevels.push_back(level);
  st.m_bWindFalloff = m_bFlag22000;
  st.m_bFloorEnabled = m_bFloorEnabled;
  st.m_fFloorHeight = m_fFloorHeight;
  st.m_nFloorLevel = m_nFloorLevel;
  st.m_fFloorExponent = m_fFloorExponent;
  st.m_fFloorScale = m_fFloorScale;
  st.m_nClusterLevel = m_nClusterLevel;
  st.m_pRootSupport = m_pRootSupport;
  st.m_uRoughnessCounter = 0;
  st.m_uDensityCounter = 0;
  // 4. The seed is data: -1 seeds with 1 and never means the clock.
  CTreeRandom::SeedStored(static_cast<std::uint32_t>(m_nSeed));
  for (float& value : st.m_afTable) value = CTreeRandom::GetUniform(0.0f, 1.0f);
  // 5.
  CTreeRandom::SeedStored(static_cast<std::uint32_t>(m_nSeed));
  const float workingSize = CTreeRandom::GetUniform(m_fSize - m_fSizeVariance, m_fSize + m_fSizeVariance);
  // 6.
  CFlareRandom::Seed(static_cast<std::uint32_t>(m_nPlacementSeed));
  // 7. Leaf maps follow the base size, not the drawn one.
  if (m_fSize > 0.0f) {
    for (STreeLeafMap& map : m_cLeafInfo.m_vLeafMaps) {
      map.m_vAbsoluteSize.x = map.m_vRelativeSize.x * m_fSize;
      map.m_vAbsoluteSize.y = map.m_vRelativeSize.y * m_fSize;
    }
  }
  // 8.
  CTreeRandom::SeedStored(static_cast<std::uint32_t>(m_nSeed));
  if (m_pBranchGeometry != nullptr) {
    m_pBranchGeometry->SetNumLods(m_nNumBranchLods);
    m_pBranchGeometry->ResetStripCounter();
  }
  // 9.
  const std::uint32_t seed = static_cast<std::uint32_t>(m_nSeed);
  st.m_uSeed = seed;
  st.m_nWindGroupCounter = m_nSeed;
  stMat3 root;
  root.RotateZ(m_fGlobalValue);
  m_pBranch->Compute(seed, workingSize, 0, stVec3(m_afPosition[0], m_afPosition[1], m_afPosition[2]), 0.0f, root,
                     stVec3(0.0f, 0.0f, 1.0f), m_pBranchGeometry, m_vLeaves, 1.0f, 1.0f, m_nSeed, m_nPlacementSeed,
                     -1.0f, false);
  // 10.
  ComputeBranchLods();
  // 11.
  if (!m_bLeafLodsLoaded) ComputeLeafLods(fLeafSpacing);

  // The builder's settings point into this engine for the compute only.
  st.m_pLeafInfo = nullptr;
  st.m_pRootSupport = nullptr;
  FreeVector(st.m_vLevels);
  for (TreeVector<std::int32_t>& group : st.m_vLeafGroups) FreeVector(group);
  FreeVector(st.m_vPlacedLeaves);
}

void CTreeEngine::ComputeBranchLods() {
  CIndexedGeometry* geometry = m_pBranchGeometry;
  if (geometry == nullptr) return;

  // 1. The nodes, when there is anything to choose from.
  struct Node {
    CBranch* branch;
    float weight;
    float key;
  };
  TreeVector<Node> nodes;
  float total = 0.0f;
  float largest = 0.0f;
  bool holdsTriangle = false;
  if (const TreeVector<std::int32_t>* descriptors = geometry->GetStripDescriptors(0)) {
    for (std::size_t k = 1; k < descriptors->size(); k += 2) holdsTriangle = holdsTriangle || (*descriptors)[k] >= 3;
  }
  if (m_pBranch != nullptr && holdsTriangle) {
    TreeVector<CBranch*> collected;
    m_pBranch->CollectNodes(collected);
    for (CBranch* branch : collected) {
      const float weight = branch->m_fSizeMeasure > 0.0f ? branch->m_fSizeMeasure : 0.0f;
      nodes.push_back({branch, weight, 0.0f});
      total += weight;
      largest = std::max(largest, weight);
    }
  }

  // 2. Sort keys below the cut; the nodes above it go to their own list.
  const float cut = (1.0f - m_fBranchWeightThreshold) * largest;
  TreeVector<Node> ordered;
  TreeVector<Node> large;
  for (Node& node : nodes) {
    if (node.weight > cut) {
      large.push_back(node);
      continue;
    }
    const float r = CTreeRandom::GetUniform(0.0f, m_fBranchWeightBlend);
    const float key = r * largest + (1.0f - r) * node.weight;
    node.key = key > 0.0f ? key : 0.0f;
    ordered.push_back(node);
  }
  // 3. Both by descending key; the large nodes then go to the front one by
  //    one (ending up in reverse order ahead of all others).
  auto higher = [](const Node& a, const Node& b) { return a.key > b.key; };
  std::stable_sort(ordered.begin(), ordered.end(), higher);
  std::stable_sort(large.begin(), large.end(), higher);
  for (const Node& node : large) ordered.insert(ordered.begin(), node);

  // 4. Each LOD takes a share of the total weight.
  const std::int32_t lods = m_nNumBranchLods;
  for (std::int32_t l = 0; l < lods; ++l) {
    const float f = lods == 1 ? 1.0f
                              : m_fLargestBranchLod + (m_fSmallestBranchLod - m_fLargestBranchLod) *
                                                          static_cast<float>(l) / static_cast<float>(lods - 1);
    const float budget = f * total;
    std::size_t taken = 0;
    float sum = 0.0f;
    while (taken < ordered.size() && sum < budget) sum += ordered[taken++].weight;
    geometry->ResetStripCounter();
    if (l == 0) {
      // LOD 0 holds every strip the builder emitted; the selection alone
      // decides what it keeps.
      geometry->ClearLod(0);
      if (taken == 0) {
        geometry->AddStrip(0, nullptr, 0);
        continue;
      }
    }
    for (std::size_t k = 0; k < taken; ++k) ordered[k].branch->EmitToLod(l, *geometry);
  }
}

void CTreeEngine::ComputeLeafLods(float fSpacing) {
  float reference = 10.0f;
  if (!m_cLeafInfo.m_vLeafMaps.empty()) {
    reference = 0.0f;
    for (const STreeLeafMap& map : m_cLeafInfo.m_vLeafMaps) {
      reference = std::max(reference, std::max(map.m_vAbsoluteSize.x, map.m_vAbsoluteSize.y) *
                                          m_cLeafInfo.m_fDimensionFactor);
    }
  }
  const float limit = 10.0f * reference;
  if (m_pLeafLods == nullptr) return;
  const std::int32_t levels =
      std::min(GetNumLeafLods(), static_cast<std::int32_t>(TrackedArrayCount(m_pLeafLods)));
  if (levels < 1) return;
  m_pLeafLods[0] = m_vLeaves;
  for (std::int32_t l = 1; l < levels; ++l) {
    CLeafLodBuilder pass(m_cLeafInfo, limit, m_fLeafLodKeepThreshold, static_cast<float>(l) * fSpacing + 1.0f);
    pass.FindPairs(m_pLeafLods[l - 1]);
    m_pLeafLods[l].clear();
    pass.BuildLevel(m_pLeafLods[l - 1], m_pLeafLods[l]);
  }
}

void CTreeEngine::ApplyDefaultTextureControls() {
  // The shared record stands for every level that points to it: it is
  // changed once, and those levels keep sharing it.
  for (std::size_t i = 0; i < m_vBranchLevels.size(); ++i) {
    if (m_vBranchLevels[i] != m_pSharedLevel) EditBranchLevel(i).ApplyDefaultTextureControls();
  }
  if (m_pSharedLevel != nullptr) m_pSharedLevel->ApplyDefaultTextureControls();
}

void CTreeEngine::ApplyDefaultCurves() {
  // One table of the default curve for all levels: a level of its own
  // costs its record, not six tables of 500 values besides.
  const stBezierSpline defaultCurve(STreeBranchInfo::kDefaultCurveText);
  for (std::size_t i = 0; i < m_vBranchLevels.size(); ++i) {
    if (m_vBranchLevels[i] != m_pSharedLevel) EditBranchLevel(i).ApplyDefaultCurves(defaultCurve);
  }
  if (m_pSharedLevel != nullptr) m_pSharedLevel->ApplyDefaultCurves(defaultCurve);
  if (m_pRootSupport != nullptr) m_pRootSupport->m_sBranch.ApplyDefaultCurves(defaultCurve);
}

STreeBranchInfo& CTreeEngine::EditBranchLevel(std::size_t index) {
  const STreeBranchInfo*& level = m_vBranchLevels[index];
  if (level == m_pSharedLevel) level = TrackedNew<STreeBranchInfo>("CTreeEngine::EditBranchLevel, level", *level);
  // Every level but the shared one is the engine's own record.
  return const_cast<STreeBranchInfo&>(*level);
}

STreeBranchInfo& CTreeEngine::SharedLevel() {
  if (m_pSharedLevel == nullptr) m_pSharedLevel = TrackedNew<STreeBranchInfo>("CTreeEngine, m_pSharedLevel");
  return *m_pSharedLevel;
}

void CTreeEngine::AdoptChangedLevel(std::size_t index, STreeBranchInfo&& changed) {
  if (changed.SameAs(*m_pSharedLevel)) return;
  m_vBranchLevels[index] = TrackedNew<STreeBranchInfo>("CTreeEngine::ChangeBranchLevel, level", std::move(changed));
}

// --- state --------------------------------------------------------------------

void CTreeEngine::SetTreeSize(float fSize, float fVariance) {
  m_fOverrideSize = fSize;
  m_fOverrideVariance = fVariance;
}

STreeMesh* CTreeEngine::GetMesh(std::int32_t index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= m_vMeshes.size()) return nullptr;
  return m_vMeshes[static_cast<std::size_t>(index)];
}

void CTreeEngine::FreeBranchLevels() {
  for (const STreeBranchInfo* level : m_vBranchLevels) {
    if (level == m_pSharedLevel) continue;
    STreeBranchInfo* owned = const_cast<STreeBranchInfo*>(level);
    TrackedDelete(owned);
  }
  m_vBranchLevels.clear();
  TrackedDelete(m_pSharedLevel);
}

void CTreeEngine::FreeLeafLods() { TrackedDeleteArray(m_pLeafLods); }

void CTreeEngine::FreeTransientData() {
  if (!m_bTransientData) return;
  TrackedDelete(m_pBranch);
  FreeLeafLods();
  FreeBranchLevels();
  TrackedDelete(m_pRootSupport);
  for (STreeMesh*& mesh : m_vMeshes) TrackedDelete(mesh);
  m_vMeshes.clear();
  m_vLeaves.clear();
  m_bTransientData = false;
}

}  // namespace trt
