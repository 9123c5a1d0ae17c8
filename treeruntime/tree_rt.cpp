#include "treeruntime/tree_rt.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>

#include "treeruntime/branch.h"
#include "treeruntime/frond_engine.h"
#include "treeruntime/indexed_geometry.h"
#include "treeruntime/leaf_geometry.h"
#include "treeruntime/lighting_engine.h"
#include "treeruntime/projected_shadow.h"
#include "treeruntime/texture_flip.h"
#include "treeruntime/tree_engine.h"
#include "treeruntime/tree_file_access.h"
#include "treeruntime/tree_map_bank.h"
#include "treeruntime/tree_random.h"
#include "treeruntime/vec.h"
#include "treeruntime/wind_matrices.h"

namespace trt {
namespace {

// The process-wide state of the runtime that the model keeps. The current
// lighting and frond engines live in the branch builder's settings, which
// is where the branch computation reads them.
struct SRuntimeState {
  TreeVector<CTreeRT*>* m_pUniqueTrees = nullptr;
  std::int32_t m_nNumTrees = 0;
  std::string m_strLastError;
  bool m_bStaticOption = false;
};

SRuntimeState g_cState;

void SetLastError(const char* format, ...) __attribute__((format(printf, 1, 2)));
void SetLastError(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  g_cState.m_strLastError = buffer;
}

// Runs `body` inside the guard of operation `name`; answers `failure` when
// it throws.
template <typename R, typename F>
R Guarded(const char* name, R failure, F&& body) {
  try {
    return body();
  } catch (const std::exception& e) {
    SetLastError("%s - failed [%s]", name, e.what());
  } catch (...) {
    SetLastError("%s - threw an unknown system exception", name);
  }
  return failure;
}

template <typename F>
void GuardedVoid(const char* name, F&& body) {
  Guarded(name, 0, [&] {
    body();
    return 0;
  });
}

constexpr const char* kLoadTreeName = "CTreeRT::LoadTree(Memory block)";
constexpr const char* kComputeName = "CTreeRT::Compute";

// The tree sizes of a model that has not been computed.
constexpr float kInitialSizes[7] = {0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f};

}  // namespace

// --- SEmbeddedTexCoords ---------------------------------------------------------

SEmbeddedTexCoords::~SEmbeddedTexCoords() {
  TrackedDeleteArray(m_pLeafTexCoords);
  TrackedDeleteArray(m_pBillboardTexCoords);
  TrackedDeleteArray(m_pFrondTexCoords);
}

const float* SEmbeddedTexCoords::Entry(const float* table, std::int32_t count, std::int32_t i) {
  if (table == nullptr || i < 0 || i >= count) return nullptr;
  if (static_cast<std::uint32_t>(i) * 8u + 8u > TrackedArrayCount(table)) return nullptr;
  return table + 8 * i;
}

// --- SGeometry --------------------------------------------------------------------

CTreeRT::SGeometry::SGeometry() {
  // Three unit axes, then zeros, 1.0 and 255.0 last.
  std::fill(std::begin(m_afTrailing), std::end(m_afTrailing), 0.0f);
  m_afTrailing[0] = 1.0f;
  m_afTrailing[4] = 1.0f;
  m_afTrailing[8] = 1.0f;
  m_afTrailing[kNumTrailingWords - 2] = 1.0f;
  m_afTrailing[kNumTrailingWords - 1] = 255.0f;
}

CTreeRT::SGeometry::~SGeometry() {
  m_sBranches = SIndexed();
  m_sFronds = SIndexed();
  m_nNumLeafLods = 0;
  m_pLeaves = nullptr;
  m_sBillboard.m_nNumImages = 0;
  m_sBillboard.m_pTexCoordTable = nullptr;
}

// --- construction ------------------------------------------------------------------

void* CTreeRT::operator new(std::size_t size) { return UntrackedAlloc(size); }

void CTreeRT::operator delete(void* block) { UntrackedFree(block); }

CTreeRT::CTreeRT() {
  GuardedVoid("CTreeRT::CTreeRT( )", [this] { Construct(); });
}

void CTreeRT::Construct() {
  m_pWindEngine = TrackedNew<CWindMatrices>("CTreeRT::CTreeRT, m_pWindEngine");
  m_pBranchGeometry = TrackedNew<CIndexedGeometry>("CTreeRT::CTreeRT, m_pBranchGeometry", m_pWindEngine, false);
  m_pEngine = TrackedNew<CTreeEngine>("CTreeRT::CTreeRT, m_pEngine", m_pBranchGeometry);
  m_pLightingEngine = TrackedNew<CLightingEngine>("CTreeRT::CTreeRT, m_pLightingEngine");
  m_pLeafGeometry = TrackedNew<CLeafGeometry>("CTreeRT::CTreeRT, m_pLeafGeometry", m_pWindEngine);
  m_pSimpleBillboard = TrackedNew<SSimpleBillboard>("CTreeRT::CTreeRT, m_pSimpleBillboard");
  m_pTreeSizes = TrackedNewArray<float>(7, "CTreeRT::CTreeRT, m_pTreeSizes");
  m_pInstancesRefCount = TrackedNew<std::int32_t>("CTreeRT::CTreeRT, m_pInstancesRefCount", 1);
  m_pInstanceList = TrackedNew<TreeVector<CTreeRT*>>("CTreeRT::CTreeRT, m_pInstanceList");
  m_pFrondEngine = TrackedNew<CFrondEngine>("CTreeRT::CTreeRT, m_pFrondEngine");
  m_pFrondGeometry = TrackedNew<CIndexedGeometry>("CTreeRT::CTreeRT, m_pFrondGeometry", m_pWindEngine, true);

  if (g_cState.m_pUniqueTrees == nullptr) {
    g_cState.m_pUniqueTrees = TrackedNew<TreeVector<CTreeRT*>>("CTreeRT::CTreeRT, g_pUniqueTrees");
  }
  g_cState.m_pUniqueTrees->push_back(this);
  ++g_cState.m_nNumTrees;
  CBranch::Settings().m_pLightingEngine = m_pLightingEngine;
  std::copy(std::begin(kInitialSizes), std::end(kInitialSizes), m_pTreeSizes);
  m_pMapBank = TrackedNew<STreeMapBank>("CTreeRT::CTreeRT, m_pMapBank");
  m_pLeafGeometry->SetEngine(m_pEngine);
}

CTreeRT::~CTreeRT() {
  // 1. A unique model leaves the list (its first occurrence). A model whose
  //    construction failed before it was listed is not in it.
  bool listed = false;
  if (m_pInstanceRecord == nullptr && g_cState.m_pUniqueTrees != nullptr) {
    TreeVector<CTreeRT*>& list = *g_cState.m_pUniqueTrees;
    const auto found = std::find(list.begin(), list.end(), this);
    if (found != list.end()) {
      list.erase(found);
      listed = true;
    }
  }
  // 2., 3. Only unique models exist in this system: the shared count is
  //    this model's own.
  if (m_pInstancesRefCount != nullptr) --*m_pInstancesRefCount;
  // 4. The last holder frees the parts.
  if (m_pInstancesRefCount == nullptr || *m_pInstancesRefCount <= 0) {
    if (m_pEngine != nullptr) {
      if (m_pEngine->HasTransientData()) {
        m_pEngine->FreeTransientData();
      } else {
        SetLastError("DeleteTransientData() called with no intact transient data");
      }
    }
    // The branch builder must not keep engines that are about to go.
    SBranchSettings& settings = CBranch::Settings();
    if (settings.m_pLightingEngine == m_pLightingEngine) settings.m_pLightingEngine = nullptr;
    if (settings.m_pFrondEngine == m_pFrondEngine) settings.m_pFrondEngine = nullptr;

    TrackedDelete(m_pBranchGeometry);
    TrackedDelete(m_pLightingEngine);
    TrackedDelete(m_pWindEngine);
    TrackedDelete(m_pLeafGeometry);
    TrackedDeleteArray(m_pLeafLods);
    TrackedDelete(m_pSimpleBillboard);
    TrackedDelete(m_pEngine);
    TrackedDelete(m_pInstancesRefCount);
    TrackedDelete(m_pInstanceList);
    TrackedDeleteArray(m_pTreeSizes);
    TrackedDelete(m_pCollisionObjects);
    TrackedDelete(m_pEmbeddedTexCoords);
    TrackedDelete(m_pFrondEngine);
    TrackedDelete(m_pFrondGeometry);
    TrackedDeleteArray(m_pLeafLodSizeFactors);
    TrackedDelete(m_pProjectedShadow);
    TrackedDeleteArray(m_pUserData);
    TrackedDelete(m_pMapBank);
  }
  FreeVector(m_vSectionTokens);
  // 6. A listed model was counted; the last one releases the list.
  if (listed) --g_cState.m_nNumTrees;
  if (g_cState.m_nNumTrees == 0 && g_cState.m_pUniqueTrees != nullptr) {
    TrackedDelete(g_cState.m_pUniqueTrees);
  }
}

void CTreeRT::RequireParts() const {
  if (m_pEngine == nullptr || m_pBranchGeometry == nullptr || m_pLeafGeometry == nullptr ||
      m_pLightingEngine == nullptr || m_pWindEngine == nullptr || m_pTreeSizes == nullptr ||
      m_pFrondEngine == nullptr || m_pFrondGeometry == nullptr || m_pMapBank == nullptr) {
    throw std::runtime_error("incomplete tree model");
  }
}

// --- loading, saving, copying ----------------------------------------------------------

bool CTreeRT::LoadTree(const std::uint8_t* block, std::int32_t size) {
  return Guarded(kLoadTreeName, false, [&] { return LoadTreeUnguarded(block, size); });
}

bool CTreeRT::LoadTreeUnguarded(const std::uint8_t* block, std::int32_t size) {
  RequireParts();
  // 1. A null block or a negative size is an empty block: the core fails.
  const std::size_t bytes = block != nullptr && size > 0 ? static_cast<std::size_t>(size) : 0;
  CTreeFileAccess file(block, bytes);
  // 2.
  if (!m_pEngine->Parse(file)) return false;
  // 3.
  ParseSupplementalSections(file);
  // 4.
  m_pEngine->ApplyDefaultCurves();
  // 5. The geometry flags follow the loaded methods.
  SetBranchLightingMethod(m_pLightingEngine->m_nBranchLightingMethod);
  SetLeafLightingMethod(m_pLightingEngine->m_nLeafLightingMethod);
  SetFrondLightingMethod(m_pLightingEngine->m_nFrondLightingMethod);
  // 6.
  if (m_nLodMode == 2) {
    m_nLodMode = 1;
    m_fLodValue16014 = 0.5f;
  }
  // 7.
  m_pWindEngine->SetMatrixRange(0, CWindMatrices::GetNumSharedMatrices());
  // 8., 9.
  if (!m_bReadMapBank) FillMapBankFromCore();
  if (!m_bReadTexCoordControls) m_pEngine->ApplyDefaultTextureControls();
  return true;
}

void CTreeRT::FillMapBankFromCore() {
  STreeMapBank& bank = *m_pMapBank;
  bank.m_cBranchMaps.m_astrLayers[0] = m_pEngine->m_strBranchTexture;
  bank.m_vLeafMaps.clear();
  for (const STreeLeafMap& map : m_pEngine->m_cLeafInfo.m_vLeafMaps) {
    STreeMapCollection entry;
    entry.m_astrLayers[0] = map.m_strFileName;
    bank.m_vLeafMaps.push_back(entry);
  }
  bank.m_vFrondMaps.clear();
  for (const SFrondTexture& texture : m_pFrondEngine->m_vTextures) {
    STreeMapCollection entry;
    entry.m_astrLayers[0] = texture.m_strFileName;
    bank.m_vFrondMaps.push_back(entry);
  }
  bank.m_cCompositeMaps.m_astrLayers[0] =
      m_pEmbeddedTexCoords != nullptr ? m_pEmbeddedTexCoords->m_strCompositeMap : std::string();
  if (m_pProjectedShadow != nullptr) bank.m_strSelfShadowMap = m_pProjectedShadow->m_strTexture;
}

std::uint8_t* CTreeRT::SaveTree(std::uint32_t& size, bool bSaveLeafLods) {
  return Guarded("CTreeRT::SaveTree", static_cast<std::uint8_t*>(nullptr), [&]() -> std::uint8_t* {
    RequireParts();
    if (!m_pEngine->HasTransientData()) {
      SetLastError("cannot Save() after DeleteTransientData() is called");
      return nullptr;
    }
    CTreeFileAccess file;
    m_pEngine->Save(file, bSaveLeafLods);
    SaveSections(file);
    return file.ConvertMemoryToArray(size);
  });
}

CTreeRT* CTreeRT::Clone() {
  if (m_pEngine == nullptr || !m_pEngine->HasTransientData()) return nullptr;
  std::uint32_t size = 0;
  std::uint8_t* block = SaveTree(size, false);
  if (block == nullptr) return nullptr;
  CTreeRT* copy = nullptr;
  try {
    copy = new CTreeRT;
  } catch (const std::bad_alloc&) {
    TrackedDeleteArray(block);
    return nullptr;
  }
  const bool loaded = copy->LoadTree(block, static_cast<std::int32_t>(size));
  TrackedDeleteArray(block);
  if (!loaded) {
    delete copy;
    return nullptr;
  }
  return copy;
}

// --- settings ------------------------------------------------------------------------

void CTreeRT::SetTreeSize(float fSize, float fVariance) {
  GuardedVoid("CTreeRT::SetTreeSize", [&] {
    RequireParts();
    if (!m_pEngine->HasTransientData()) {
      SetLastError("SetTreeSize() has no effect after DeleteTransientData() has been called");
    } else if (fSize > 0.0f) {
      m_pEngine->SetTreeSize(fSize, fVariance);
    } else {
      SetLastError("SetTreeSize() is only valid for size values greater than 0.0");
    }
  });
}

void CTreeRT::SetBranchLightingMethod(std::int32_t method) {
  GuardedVoid("CTreeRT::SetBranchLightingMethod", [&] {
    RequireParts();
    if (m_bComputed) {
      SetLastError("SetBranchLightingMethod() has no effect after Compute() has been called");
      return;
    }
    m_pBranchGeometry->SetStaticLighting(method == 1);
    m_pLightingEngine->m_nBranchLightingMethod = method;
  });
}

void CTreeRT::SetLeafLightingMethod(std::int32_t method) {
  GuardedVoid("CTreeRT::SetLeafLightingMethod", [&] {
    RequireParts();
    if (m_bComputed) {
      SetLastError("SetLeafLightingMethod() has no effect after Compute() has been called");
      return;
    }
    m_pLightingEngine->m_nLeafLightingMethod = method;
    m_pLeafGeometry->SetStaticLighting(method == 1);
  });
}

void CTreeRT::SetFrondLightingMethod(std::int32_t method) {
  GuardedVoid("CTreeRT::SetFrondLightingMethod", [&] {
    RequireParts();
    if (m_bComputed) {
      SetLastError("SetFrondLightingMethod() has no effect after Compute() has been called");
      return;
    }
    m_pFrondGeometry->SetStaticLighting(method == 1);
    m_pLightingEngine->m_nFrondLightingMethod = method;
  });
}

void CTreeRT::SetLeafWindMethod(std::int32_t method) {
  GuardedVoid("CTreeRT::SetLeafWindMethod", [&] {
    RequireParts();
    if (m_bComputed) {
      SetLastError("SetLeafWindMethod() has no effect after Compute() has been called");
      return;
    }
    m_pWindEngine->m_nLeafWindMethod = method;
    m_pLeafGeometry->SetLeafWind(method != 2);
  });
}

namespace {

// Branch and frond wind: leaving method 1 for 2 undoes the bending (the
// vertices go back to their rest positions) before the method changes.
void ApplyStripWindMethod(CIndexedGeometry& geometry, std::int32_t& engineMethod, std::int32_t method) {
  if (method == 2 && engineMethod == 1) {
    geometry.ArmWindEffect();
    geometry.ComputeWindEffect(0);
  }
  engineMethod = method;
  geometry.SetWindData(method != 2);
  geometry.SetWindMethod(method);
}

}  // namespace

void CTreeRT::SetBranchWindMethod(std::int32_t method) {
  GuardedVoid("CTreeRT::SetBranchWindMethod", [&] {
    RequireParts();
    if (m_bComputed) {
      SetLastError("SetBranchWindMethod() has no effect after Compute() has been called");
      return;
    }
    ApplyStripWindMethod(*m_pBranchGeometry, m_pWindEngine->m_nBranchWindMethod, method);
  });
}

void CTreeRT::SetFrondWindMethod(std::int32_t method) {
  GuardedVoid("CTreeRT::SetFrondWindMethod", [&] {
    RequireParts();
    if (m_bComputed) {
      SetLastError("SetFrondWindMethod() has no effect after Compute() has been called");
      return;
    }
    ApplyStripWindMethod(*m_pFrondGeometry, m_pWindEngine->m_nFrondWindMethod, method);
  });
}

void CTreeRT::SetWindEngineFlag(bool bFlag) {
  if (m_pWindEngine != nullptr) m_pWindEngine->m_bWindEngineFlag = bFlag;
}

void CTreeRT::SetNumWindMatrices(std::int32_t count) {
  GuardedVoid("CTreeRT::SetNumWindMatrices", [&] { CWindMatrices::Resize(count < 2 ? 1 : count); });
}

void CTreeRT::SetTextureFlip(bool bFlip) { SetTextureFlipFlag(bFlip); }

bool CTreeRT::GetTextureFlip() { return GetTextureFlipFlag(); }

void CTreeRT::SetStaticOption(bool bStatic) { g_cState.m_bStaticOption = bStatic; }

bool CTreeRT::GetStaticOption() { return g_cState.m_bStaticOption; }

// --- computing -------------------------------------------------------------------------

bool CTreeRT::Compute(const float* pTransform, std::uint32_t seed, bool bCombineStrips) {
  return Guarded(kComputeName, m_bComputed, [&] {
    if (m_bComputed) {
      SetLastError("Compute() called more than once for single tree model (ignored)");
      return true;
    }
    ComputeUnguarded(pTransform, seed, bCombineStrips);
    return m_bComputed;
  });
}

void CTreeRT::ComputeUnguarded(const float* pTransform, std::uint32_t seed, bool bCombineStrips) {
  RequireParts();
  CTreeEngine& engine = *m_pEngine;
  // 2. The branch builder consults this model's engines, whichever model
  //    was constructed last.
  SBranchSettings& settings = CBranch::Settings();
  settings.m_pFrondEngine = m_pFrondEngine;
  settings.m_pLightingEngine = m_pLightingEngine;

  // 3. The seed follows the rule of the data's seed token.
  if (seed == 0) {
    CTreeRandom::Seed(-1);
    engine.m_nSeed = TruncateToInt(CTreeRandom::GetUniform(2.0f, 1000000.0f));
  } else if (seed != 1) {
    engine.m_nSeed = static_cast<std::int32_t>(seed);
  }
  // A size set after loading (as a scene's tree sets it) is the size the
  // tree grows to; the engine itself only applies it to later parses.
  if (engine.m_fOverrideSize > -1.0f) {
    engine.m_fSize = engine.m_fOverrideSize;
    engine.m_fSizeVariance = engine.m_fOverrideVariance;
  }
  engine.Compute(m_fLeafLodSizeFactor);

  // 4.
  m_pFrondEngine->Compute(m_pFrondGeometry, m_pLightingEngine);
  m_nNumFrondLods = m_pFrondGeometry->GetNumLods();
  // 5.
  engine.m_cLeafInfo.InitTables(static_cast<std::int32_t>(engine.m_cLeafInfo.m_vLeafMaps.size()));
  // 6.
  if (m_pLightingEngine->m_nLeafLightingMethod == 1) ComputeLeafStaticLightingUnguarded();
  // 7.
  m_pWindEngine->SetWindInfo(engine.m_cWindInfo);
  // 8. Never more LODs than the engine holds lists for.
  const std::int32_t leafLods =
      std::min(engine.GetNumLeafLods(), static_cast<std::int32_t>(TrackedArrayCount(engine.m_pLeafLods)));
  m_pLeafGeometry->Init(std::max(leafLods, 0), engine.m_pLeafLods, engine.m_cLeafInfo, m_fLeafLodSizeFactor);
  // 9.
  TrackedDeleteArray(m_pLeafLods);
  m_pLeafLods = TrackedNewArray<SGeometry::SLeaf>(static_cast<std::size_t>(m_pLeafGeometry->GetNumLods()),
                                                  "CTreeRT::Compute, m_pLeafLods");
  // 10.
  if (m_pEmbeddedTexCoords != nullptr) {
    const SEmbeddedTexCoords& coords = *m_pEmbeddedTexCoords;
    for (std::int32_t i = 0; i < coords.m_nNumLeafMaps; ++i) {
      if (const float* uv = SEmbeddedTexCoords::Entry(coords.m_pLeafTexCoords, coords.m_nNumLeafMaps, i)) {
        m_pLeafGeometry->SetTextureCoords(i, uv);
      }
    }
    for (std::int32_t i = 0; i < coords.m_nNumFrondMaps; ++i) {
      if (const float* uv = SEmbeddedTexCoords::Entry(coords.m_pFrondTexCoords, coords.m_nNumFrondMaps, i)) {
        m_pFrondGeometry->ApplyTexCoords(i, uv, GetTextureFlipFlag());
      }
    }
  }
  // 11., 12.
  if (bCombineStrips) {
    m_pBranchGeometry->CombineStrips(false);
    m_pFrondGeometry->CombineStrips(false);
  }
  m_pBranchGeometry->Finish();
  m_pFrondGeometry->Finish();
  // 13. Collision sizes scale by the lengths of the matrix's first three
  //     rows, so that a rotation leaves them as they are.
  if (pTransform != nullptr) {
    stMat4 matrix;
    std::copy(pTransform, pTransform + 16, matrix.m);
    m_pBranchGeometry->Transform(matrix);
    m_pLeafGeometry->Transform(matrix);
    m_pFrondGeometry->Transform(matrix);
    if (m_pCollisionObjects != nullptr) {
      float scales[3];
      for (int row = 0; row < 3; ++row) {
        scales[row] = std::sqrt(matrix.m[4 * row] * matrix.m[4 * row] + matrix.m[4 * row + 1] * matrix.m[4 * row + 1] +
                                matrix.m[4 * row + 2] * matrix.m[4 * row + 2]);
      }
      for (SCollisionObject& object : *m_pCollisionObjects) {
        const stVec3 moved = stVec3(object.m_afPosition[0], object.m_afPosition[1], object.m_afPosition[2]) * matrix;
        object.m_afPosition[0] = moved.x;
        object.m_afPosition[1] = moved.y;
        object.m_afPosition[2] = moved.z;
        if (object.m_uType == SCollisionObject::kBox) {
          for (int k = 0; k < 3; ++k) object.m_afDimensions[k] *= scales[k];
        } else {
          object.m_afDimensions[0] *= scales[0];
          if (object.m_uType == SCollisionObject::kCylinder) object.m_afDimensions[1] *= scales[0];
        }
      }
    }
  }
  // 14., 15. A tree with nothing in it keeps the initial sizes rather than
  //     the empty box's +-3.4e38.
  stRegion box;
  m_pBranchGeometry->ExtendBounds(box);
  m_pLeafGeometry->ExtendBounds(box);
  m_pFrondGeometry->ExtendBounds(box);
  if (!box.IsEmpty()) {
    for (int k = 0; k < 3; ++k) {
      m_pTreeSizes[k] = box.m_cMin[k];
      m_pTreeSizes[3 + k] = box.m_cMax[k];
    }
    const float corners[4][2] = {{box.m_cMin[0], box.m_cMin[1]},
                                 {box.m_cMin[0], box.m_cMax[1]},
                                 {box.m_cMax[0], box.m_cMin[1]},
                                 {box.m_cMax[0], box.m_cMax[1]}};
    float largest = 0.0f;
    for (const auto& corner : corners) {
      const float distance = FastLength(stVec3(corner[0], corner[1], 0.0f));
      if (distance >= largest) largest = distance;
    }
    m_pTreeSizes[6] = 2.0f * largest;
  }
  // 16.
  if (m_pProjectedShadow != nullptr) {
    const stVec3 low(m_pTreeSizes[0], m_pTreeSizes[1], m_pTreeSizes[2]);
    const stVec3 high(m_pTreeSizes[3], m_pTreeSizes[4], m_pTreeSizes[5]);
    const stVec3 centre((low.x + high.x) * 0.5f, (low.y + high.y) * 0.5f, (low.z + high.z) * 0.5f);
    const float size = FastDistance(low, high) * 0.5f;
    const float* rect = m_pEmbeddedTexCoords != nullptr ? m_pEmbeddedTexCoords->m_afCompositeTexCoords : nullptr;
    const SProjectedShadow& shadow = *m_pProjectedShadow;
    m_pBranchGeometry->ComputeShadowTexCoords(shadow.m_vAxisA, shadow.m_vAxisB, centre, size, rect);
    m_pFrondGeometry->ComputeShadowTexCoords(shadow.m_vAxisA, shadow.m_vAxisB, centre, size, rect);
  }
  // 17.
  m_bComputed = true;
}

void CTreeRT::ComputeLeafStaticLighting() {
  GuardedVoid("CTreeRT::ComputeLeafStaticLighting", [this] { ComputeLeafStaticLightingUnguarded(); });
}

void CTreeRT::ComputeLeafStaticLightingUnguarded() {
  RequireParts();
  const stVec3 centre((m_pTreeSizes[0] + m_pTreeSizes[3]) / 2.0f, (m_pTreeSizes[1] + m_pTreeSizes[4]) / 2.0f,
                      (m_pTreeSizes[2] + m_pTreeSizes[5]) / 2.0f);
  m_pLightingEngine->LightLeaves(centre, m_pEngine->m_pLeafLods, m_pEngine->GetNumLeafLods());
}

// --- reading ----------------------------------------------------------------------------

void CTreeRT::FillIndexed(SGeometry::SIndexed& out, const CIndexedGeometry& geometry, std::int32_t numLods,
                          float value) const {
  auto floats = [](const TreeVector<float>& v) -> const float* { return v.empty() ? nullptr : v.data(); };
  auto bytes = [](const TreeVector<std::uint8_t>& v) -> const std::uint8_t* { return v.empty() ? nullptr : v.data(); };
  out.m_nNumLods = numLods;
  out.m_pNumStrips = geometry.GetNumStrips();
  out.m_pStripLengths = geometry.GetStripLengths();
  out.m_pStrips = geometry.GetStripStarts();
  out.m_nNumVertices = geometry.GetVertexCount();
  out.m_pColors = geometry.GetColors().empty() ? nullptr : geometry.GetColors().data();
  out.m_pNormals = floats(geometry.GetNormals());
  out.m_pBinormals = floats(geometry.GetBinormals());
  out.m_pTangents = floats(geometry.GetTangents());
  out.m_pCoords = floats(geometry.GetPositions());
  out.m_pWindWeights1 = floats(geometry.GetWindWeights1());
  out.m_pWindWeights2 = floats(geometry.GetWindWeights2());
  out.m_pWindMatrixIndices1 = bytes(geometry.GetWindMatrices1());
  out.m_pWindMatrixIndices2 = bytes(geometry.GetWindMatrices2());
  out.m_pLodFadeHints = floats(geometry.GetLodFades());
  out.m_fSectionValue = value;
  for (int layer = 0; layer < CIndexedGeometry::kNumTexLayers; ++layer) {
    out.m_apTexCoords[layer] = floats(geometry.GetTexLayer(layer));
  }
}

void CTreeRT::GetGeometry(SGeometry& geometry, std::uint32_t requestBits) {
  GuardedVoid("CTreeRT::GetGeometry", [&] {
    if ((requestBits & kBranchGeometry) != 0) {
      if (m_pBranchGeometry == nullptr) {
        SetLastError("no branch geometry exists, possible prior call to DeleteBranchGeometry");
      } else {
        FillIndexed(geometry.m_sBranches, *m_pBranchGeometry, GetNumBranchLodLevels(), m_fBranchValue75);
      }
    }
    if ((requestBits & kFrondGeometry) != 0) {
      if (m_pFrondGeometry == nullptr) {
        SetLastError("no frond geometry exists, possible prior call to DeleteFrondGeometry");
      } else {
        FillIndexed(geometry.m_sFronds, *m_pFrondGeometry, m_nNumFrondLods, m_fFrondValue75);
      }
    }
    if ((requestBits & kLeafGeometry) != 0) {
      if (m_pLeafGeometry == nullptr) {
        SetLastError("no leaf geometry exists, possible prior call to DeleteLeafGeometry");
      } else {
        // Before Compute there are no leaf records to hand out.
        const std::int32_t count = static_cast<std::int32_t>(TrackedArrayCount(m_pLeafLods));
        geometry.m_nNumLeafLods = count;
        geometry.m_pLeaves = m_pLeafLods;
        for (std::int32_t i = 0; i < count; ++i) {
          m_pLeafGeometry->ComputeLod(i, m_pLeafLods[i], 0.0f, 0.0f, m_fLeafLodSizeFactor);
        }
      }
    }
    if ((requestBits & kBillboardGeometry) != 0) {
      SGeometry::SBillboard& billboard = geometry.m_sBillboard;
      billboard.m_fWidth = m_pTreeSizes != nullptr ? m_pTreeSizes[6] : 1.0f;
      billboard.m_fHeight = m_pTreeSizes != nullptr ? m_pTreeSizes[5] : 1.0f;
      if (m_pEmbeddedTexCoords != nullptr) {
        billboard.m_nNumImages = m_pEmbeddedTexCoords->m_nNumBillboards - (m_bHorizontalBillboard ? 1 : 0);
        billboard.m_pTexCoordTable = m_pEmbeddedTexCoords->m_pBillboardTexCoords;
      }
      std::fill(std::begin(billboard.m_afValues), std::end(billboard.m_afValues), 0.0f);
      billboard.m_afLimits[0] = 255.0f;
      billboard.m_afLimits[1] = 255.0f;
      billboard.m_fSectionValue = m_fBillboardValue75;
    }
  });
}

void CTreeRT::GetBoundingBox(float* pBox) const {
  if (pBox == nullptr) {
    SetLastError("GetBoundingBox() expects a non-NULL parameter");
    return;
  }
  for (int k = 0; k < 6; ++k) pBox[k] = m_pTreeSizes != nullptr ? m_pTreeSizes[k] : kInitialSizes[k];
}

std::int32_t CTreeRT::GetNumBranchLodLevels() const {
  return m_pEngine != nullptr ? m_pEngine->m_nNumBranchLods : 0;
}

// --- parts made in code ----------------------------------------------------------------

void CTreeRT::SetUserData(const char* text) {
  TrackedDeleteArray(m_pUserData);
  if (text == nullptr || *text == '\0') return;
  const std::size_t length = std::strlen(text);
  m_pUserData = TrackedNewArray<char>(length + 1, "CTreeRT::CopyUserData, pCopy");
  std::memcpy(m_pUserData, text, length + 1);
}

TreeVector<SCollisionObject>& CTreeRT::MakeCollisionObjects() {
  if (m_pCollisionObjects == nullptr) {
    m_pCollisionObjects =
        TrackedNew<TreeVector<SCollisionObject>>("CTreeRT::ParseCollisionObjects, m_pCollisionObjects");
  }
  return *m_pCollisionObjects;
}

SEmbeddedTexCoords& CTreeRT::MakeEmbeddedTexCoords() {
  if (m_pEmbeddedTexCoords == nullptr) {
    m_pEmbeddedTexCoords = TrackedNew<SEmbeddedTexCoords>("CTreeRT::ParseTextureCoordInfo, m_pEmbeddedTexCoords");
  }
  return *m_pEmbeddedTexCoords;
}

SProjectedShadow& CTreeRT::MakeProjectedShadow() {
  if (m_pProjectedShadow == nullptr) {
    m_pProjectedShadow = TrackedNew<SProjectedShadow>("CTreeRT::ParseShadowProjectionInfo, m_pProjectedShadow");
  }
  return *m_pProjectedShadow;
}

// --- process-wide state -------------------------------------------------------------------

const std::string& CTreeRT::GetLastError() { return g_cState.m_strLastError; }

std::int32_t CTreeRT::GetNumTrees() { return g_cState.m_nNumTrees; }

const TreeVector<CTreeRT*>* CTreeRT::GetUniqueTrees() { return g_cState.m_pUniqueTrees; }

const CLightingEngine* CTreeRT::GetCurrentLightingEngine() { return CBranch::Settings().m_pLightingEngine; }

const CFrondEngine* CTreeRT::GetCurrentFrondEngine() { return CBranch::Settings().m_pFrondEngine; }

void CTreeRT::ResetRuntimeState() {
  g_cState.m_strLastError.clear();
  g_cState.m_bStaticOption = false;
  SetTextureFlipFlag(false);
  if (g_cState.m_nNumTrees == 0) {
    CBranch::Settings().m_pLightingEngine = nullptr;
    CBranch::Settings().m_pFrondEngine = nullptr;
    CWindMatrices::ReleaseUnusedTable();
  }
  Random::ResetGenerator();
}

}  // namespace trt
