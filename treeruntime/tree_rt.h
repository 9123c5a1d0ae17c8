// CTreeRT: the tree model of the runtime, one object per tree.
//
// A model is built empty, filled from a block of tree data (LoadTree: the
// core, then the supplemental sections), told how it is lit and moved by
// wind, computed once (Compute) into branch, frond and leaf geometry with
// levels of detail, and then read through GetGeometry and GetBoundingBox.
// SaveTree writes it back to tree data; Clone copies it by saving and
// loading.
//
// Every named public operation runs inside an exception guard: a
// std::exception stores "<name> - failed [<what>]" in the process-wide error
// text (GetLastError), anything else (TreeFileError included)
// "<name> - threw an unknown system exception"; the operation then answers
// its failure value. Refusals only replace the error text and change
// nothing.
//
// Process-wide state shared by all models (unguarded: one thread at a time):
// the list of unique models and their count, the lighting and frond engines
// the branch builder consults, the error text, the shared wind-matrix table,
// the texture-flip flag and the static option. ResetRuntimeState puts it
// back as the process started.
//
// Every part a model owns is taken through the tracked allocator; the
// object itself through the installed allocator (or malloc) without
// touching the byte counter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "treeruntime/tree_memory.h"

namespace trt {

class CFrondEngine;
class CIndexedGeometry;
class CLeafGeometry;
class CLightingEngine;
class CTreeEngine;
class CTreeFileAccess;
class CWindMatrices;
struct SProjectedShadow;
struct STreeMapBank;

// A collision shape of the tree (sections 12000 and 73000).
struct SCollisionObject {
  enum EType : std::uint32_t { kSphere = 0, kCylinder = 1, kBox = 2 };

  std::uint32_t m_uType = kSphere;
  float m_afPosition[3] = {0.0f, 0.0f, 0.0f};
  // Sphere: radius; cylinder: two values; box: three values.
  float m_afDimensions[3] = {0.0f, 0.0f, 0.0f};
  float m_afExtra[3] = {0.0f, 0.0f, 0.0f};  // 73004 .. 73006
};

// Texture coordinates carried by the tree data itself (sections 10000 and
// 20000): eight floats (four u, v pairs) per leaf map, billboard image and
// frond map, and the composite map.
struct SEmbeddedTexCoords {
  std::int32_t m_nNumLeafMaps = 0;
  float* m_pLeafTexCoords = nullptr;  // counted array, 8 per leaf map
  std::int32_t m_nNumBillboards = 0;
  // 8 per image; held with every second float negated under texture flip.
  float* m_pBillboardTexCoords = nullptr;
  std::int32_t m_nNumFrondMaps = 0;
  float* m_pFrondTexCoords = nullptr;
  std::string m_strCompositeMap;
  float m_afCompositeTexCoords[8] = {1.0f, 1.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f};

  SEmbeddedTexCoords() = default;
  ~SEmbeddedTexCoords();
  SEmbeddedTexCoords(const SEmbeddedTexCoords&) = delete;
  SEmbeddedTexCoords& operator=(const SEmbeddedTexCoords&) = delete;

  // The 8 floats of entry `i` of a table, or null outside it.
  static const float* Entry(const float* table, std::int32_t count, std::int32_t i);
};

class CTreeRT {
 public:
  struct SGeometry {
    // One leaf level of detail as the model hands it out. The arrays belong
    // to the leaf geometry; copying a record shares them (all seventeen
    // fields are copied, nothing is duplicated).
    struct SLeaf {
      // A mesh drawn instead of a card when the leaf map uses one.
      struct SCardMesh {
        std::int32_t m_nNumVertices = 0;
        // Slices of one block of 14 floats per vertex.
        float* m_pCoords = nullptr;     // 3 per vertex
        float* m_pTexCoords = nullptr;  // 2 per vertex
        float* m_pNormals = nullptr;    // 3 per vertex
        float* m_pBinormals = nullptr;  // 3 per vertex
        float* m_pTangents = nullptr;   // 3 per vertex
        std::int32_t m_nNumIndices = 0;
        // The leaf mesh's own indices (shared, not copied).
        const std::uint32_t* m_pIndices = nullptr;
      };

      // The shape shared by every leaf of one texture and time-offset
      // variant: a textured quad around a pivot, or a mesh.
      struct SCard {
        float m_fWidth = -1.0f;
        float m_fHeight = -1.0f;
        float m_afPivotPoint[2] = {-1.0f, -1.0f};
        float m_afAngleOffsets[2] = {-1.0f, -1.0f};
        // The texture's 4 uv pairs.
        const float* m_pTexCoords = nullptr;
        // The card's 4 corners (x, y, z and an unused fourth float each).
        float* m_pCoords = nullptr;
        const SCardMesh* m_pMesh = nullptr;
      };

      SLeaf() = default;
      SLeaf(const SLeaf&) = default;
      SLeaf& operator=(const SLeaf&) = default;
      virtual ~SLeaf() = default;

      std::int32_t m_nLodIndex = -1;
      std::int32_t m_nLeafCount = 0;
      float m_fRockingScale = 1.0f;
      float m_fRustlingScale = 1.0f;
      std::uint8_t* m_pLeafMapIndices = nullptr;      // texture index per leaf
      std::uint8_t* m_pLeafClusterIndices = nullptr;  // card number per leaf
      float* m_pCenterCoords = nullptr;               // 3 per leaf
      std::uint32_t* m_pColors = nullptr;             // 4 per leaf
      float* m_pDimming = nullptr;                    // 1 per leaf
      float* m_pNormals = nullptr;                    // 12 per leaf
      float* m_pBinormals = nullptr;                  // 12 per leaf
      float* m_pTangents = nullptr;                   // 12 per leaf
      float* m_pWindWeights1 = nullptr;               // 1 per leaf
      float* m_pWindWeights2 = nullptr;               // 1 per leaf
      std::uint8_t* m_pWindMatrixIndices1 = nullptr;  // 1 per leaf
      std::uint8_t* m_pWindMatrixIndices2 = nullptr;  // 1 per leaf
      SCard* m_pCards = nullptr;
    };

    // Branches or fronds: the strip tables of every LOD and the per-vertex
    // arrays shared by all LODs (null for an attribute not recorded).
    struct SIndexed {
      std::int32_t m_nNumLods = 0;
      const std::int32_t* m_pNumStrips = nullptr;        // strips per LOD
      const std::int32_t* const* m_pStripLengths = nullptr;  // per LOD, per strip
      const std::int32_t* const* const* m_pStrips = nullptr;  // per LOD, per strip: first index
      std::int32_t m_nNumVertices = 0;
      const std::uint32_t* m_pColors = nullptr;      // packed, 1 per vertex
      const float* m_pNormals = nullptr;             // 3 per vertex
      const float* m_pBinormals = nullptr;           // 3 per vertex
      const float* m_pTangents = nullptr;            // 3 per vertex
      const float* m_pCoords = nullptr;              // 3 per vertex
      const float* m_pWindWeights1 = nullptr;        // 1 per vertex
      const float* m_pWindWeights2 = nullptr;        // 1 per vertex
      const std::uint8_t* m_pWindMatrixIndices1 = nullptr;
      const std::uint8_t* m_pWindMatrixIndices2 = nullptr;
      const float* m_pLodFadeHints = nullptr;        // 1 per vertex
      float m_fSectionValue = 0.0f;                  // 75002 (branches) or 75003 (fronds)
      const float* m_apTexCoords[8] = {};            // 2 per vertex each
    };

    struct SBillboard {
      float m_fWidth = 0.0f;   // the footprint size
      float m_fHeight = 0.0f;  // the top of the box
      std::int32_t m_nNumImages = -1;
      const float* m_pTexCoordTable = nullptr;  // 8 per image
      float m_afValues[3] = {0.0f, 0.0f, 0.0f};
      std::uint32_t m_auReserved[3] = {0, 0, 0};
      float m_afLimits[2] = {255.0f, 255.0f};
      float m_fSectionValue = 0.0f;  // 75005
    };

    static constexpr int kNumTrailingWords = 39;

    SGeometry();
    // Clears the pointer and count fields; frees nothing.
    ~SGeometry();
    SGeometry(const SGeometry&) = default;
    SGeometry& operator=(const SGeometry&) = default;

    SIndexed m_sBranches;
    SIndexed m_sFronds;
    std::int32_t m_nNumLeafLods = 0;
    const SLeaf* m_pLeaves = nullptr;
    SBillboard m_sBillboard;
    // Reserved: set to fixed values (unit axes, 1.0, and 255.0 last) and
    // never filled.
    float m_afTrailing[kNumTrailingWords];
  };

  // A selection of levels of detail that a placed tree keeps beside its
  // geometry record; nothing in the runtime fills it.
  struct SLodSelection {
    std::int32_t m_nBranchLod = -1;
    float m_fBranchFade = -1.0f;
    std::int32_t m_nFrondLod = -1;
    float m_fFrondFade = -1.0f;
    std::int32_t m_nLeafLod1 = -1;
    std::int32_t m_nLeafLod2 = -1;
    float m_fLeafFade1 = -1.0f;
    float m_fLeafFade2 = -1.0f;
    std::uint32_t m_uReserved = 0;
  };

  // Request bits of GetGeometry.
  static constexpr std::uint32_t kBranchGeometry = 1;
  static constexpr std::uint32_t kFrondGeometry = 2;
  static constexpr std::uint32_t kLeafGeometry = 4;
  static constexpr std::uint32_t kBillboardGeometry = 8;

  // Makes every part (wind engine, branch geometry, engine, lighting
  // engine, leaf geometry, simple billboard, tree sizes, shared count,
  // instance list, frond engine, frond geometry, map bank), appends the
  // model to the unique list, counts it and makes its lighting engine the
  // current one. Guard "CTreeRT::CTreeRT( )": a failed allocation leaves the
  // parts not yet made null, and such a model refuses LoadTree, SaveTree
  // and Compute with "<name> - failed [incomplete tree model]".
  CTreeRT();
  // Frees every part in the documented order, removes the model from the
  // unique list, uncounts it; the last model frees the list. A current
  // lighting or frond engine that was this model's is cleared.
  virtual ~CTreeRT();
  CTreeRT(const CTreeRT&) = delete;
  CTreeRT& operator=(const CTreeRT&) = delete;

  static void* operator new(std::size_t size);
  static void operator delete(void* block);

  // --- loading, saving, copying ---------------------------------------------
  // Parses the core and the supplemental sections of `size` bytes, then
  // gives empty curves their default, re-applies the loaded lighting
  // methods, turns LOD mode 2 into 1 (16014 = 0.5), sets the wind matrix
  // range, fills the map bank from the core's names when no section 60000
  // came and the default texture controls when no 50000 came. A start
  // token the reader does not know ends the reading successfully. False on
  // malformed data (what was read before stays).
  bool LoadTree(const std::uint8_t* block, std::int32_t size);
  // The core (with the leaf LOD block when `bSaveLeafLods`), then every
  // supplemental section in the writer order; a new counted byte array
  // (free it with TrackedDeleteArray) and its size, or null.
  std::uint8_t* SaveTree(std::uint32_t& size, bool bSaveLeafLods = false);
  // The reading loop of the supplemental sections over what follows the
  // core (LoadTree's step 3, public for tests of the section readers): each
  // known start token runs its section's reader; reading stops when the
  // data ends or after a start token it does not know (the token read after
  // that one is not used). Records the start tokens met and whether
  // sections 50000 and 60000 came. Throws TreeFileError with the section's
  // message; what was read before stays.
  void ParseSupplementalSections(CTreeFileAccess& file);
  // A new, uncomputed model loaded from this one's SaveTree, or null.
  CTreeRT* Clone();

  // --- settings (before Compute) ----------------------------------------------
  // Refused after the transient data is gone, and for sizes not above 0.0
  // (NaN included); else handed to the engine as its size override.
  void SetTreeSize(float fSize, float fVariance);
  void SetBranchLightingMethod(std::int32_t method);
  void SetLeafLightingMethod(std::int32_t method);
  void SetFrondLightingMethod(std::int32_t method);
  void SetBranchWindMethod(std::int32_t method);
  void SetLeafWindMethod(std::int32_t method);
  void SetFrondWindMethod(std::int32_t method);
  void SetWindEngineFlag(bool bFlag);
  // Resizes the shared wind-matrix table (any count below 2 gives one
  // identity matrix).
  static void SetNumWindMatrices(std::int32_t count);
  static void SetTextureFlip(bool bFlip);
  static bool GetTextureFlip();
  static void SetStaticOption(bool bStatic);
  static bool GetStaticOption();

  // --- computing --------------------------------------------------------------
  // Computes the tree once: seed rule of the data's seed token (0: from the
  // clock; 1: keep the data's seed; else this seed), branches and leaves,
  // fronds, leaf tables and static leaf lighting, wind, leaf geometry and
  // LODs, embedded texture coordinates, strips (combined when asked), the
  // optional transform (collision sizes scaled by the lengths of rows 0 to
  // 2), the box and footprint, the projected shadow. A second call only
  // sets its message. Answers whether the model is computed.
  bool Compute(const float* pTransform, std::uint32_t seed, bool bCombineStrips);
  void ComputeLeafStaticLighting();

  // --- reading ------------------------------------------------------------------
  // Fills the parts named by the request bits (kBranchGeometry ...); the
  // record's pointers stay valid until the model changes or is destroyed.
  // The leaf part of a model not computed is count 0 and null.
  void GetGeometry(SGeometry& geometry, std::uint32_t requestBits);
  // min x, y, z, max x, y, z; (0, 0, 0, 1, 1, 1) until computed.
  void GetBoundingBox(float* pBox) const;
  std::int32_t GetNumBranchLodLevels() const;
  std::int32_t GetNumFrondLodLevels() const { return m_nNumFrondLods; }
  bool IsComputed() const { return m_bComputed; }
  // The seven tree sizes: box minimum, maximum, footprint.
  const float* GetTreeSizes() const { return m_pTreeSizes; }
  // The start tokens the last LoadTree met after the core, in order (an
  // unknown one, which ended the reading, last).
  const TreeVector<std::int32_t>& GetSectionTokens() const { return m_vSectionTokens; }

  // --- parts ------------------------------------------------------------------
  CTreeEngine* GetEngine() const { return m_pEngine; }
  CIndexedGeometry* GetBranchGeometry() const { return m_pBranchGeometry; }
  CIndexedGeometry* GetFrondGeometry() const { return m_pFrondGeometry; }
  CLeafGeometry* GetLeafGeometry() const { return m_pLeafGeometry; }
  CLightingEngine* GetLightingEngine() const { return m_pLightingEngine; }
  CWindMatrices* GetWindEngine() const { return m_pWindEngine; }
  CFrondEngine* GetFrondEngine() const { return m_pFrondEngine; }
  STreeMapBank* GetMapBank() const { return m_pMapBank; }
  SEmbeddedTexCoords* GetEmbeddedTexCoords() const { return m_pEmbeddedTexCoords; }
  TreeVector<SCollisionObject>* GetCollisionObjects() const { return m_pCollisionObjects; }
  SProjectedShadow* GetProjectedShadow() const { return m_pProjectedShadow; }
  // The user text of section 19000, or null.
  const char* GetUserData() const { return m_pUserData; }
  void SetUserData(const char* text);
  // Collision objects, created when missing (a model made in code).
  TreeVector<SCollisionObject>& MakeCollisionObjects();
  SEmbeddedTexCoords& MakeEmbeddedTexCoords();
  SProjectedShadow& MakeProjectedShadow();

  // LOD settings (9002, 9003, 9004, 9009, 16014).
  std::int32_t m_nLodMode = 1;
  float m_fLodValue9003 = 0.07f;
  float m_fLodValue9004 = 0.7f;
  float m_fLeafLodSizeFactor = 0.5f;
  float m_fLodValue16014 = 0.0f;
  // 10007 / 20004 and 10006 / 20003.
  bool m_bFirstTexCoordFlag = false;
  bool m_bHorizontalBillboard = false;
  // 30002 .. 30007, 30009, 30008.
  float m_afStandardShader[8] = {1.0f, 1.0f, 1.0f, 1.0f, 0.5f, 1.0f, 1.0f, 0.5f};
  // Section 75000.
  float m_fBranchValue75 = 0.0f;
  float m_fFrondValue75 = 0.0f;
  bool m_bFrondFlag75 = false;
  float m_fBillboardValue75 = 0.0f;

  // --- process-wide state ---------------------------------------------------------
  static const std::string& GetLastError();
  static std::int32_t GetNumTrees();
  // The unique models in construction order (null when none lives).
  static const TreeVector<CTreeRT*>* GetUniqueTrees();
  static const CLightingEngine* GetCurrentLightingEngine();
  static const CFrondEngine* GetCurrentFrondEngine();
  // Back to the state of a fresh process: error text empty, both flags
  // clear, no current engines, the random generator unseeded, the shared
  // wind table released when no model uses it. Models alive stay as they
  // are (the seam for tests).
  static void ResetRuntimeState();

 private:
  struct SSimpleBillboard {
    std::uint8_t m_ucFlag = 0;
  };

  void Construct();
  // Throws "incomplete tree model" unless every part exists.
  void RequireParts() const;
  bool LoadTreeUnguarded(const std::uint8_t* block, std::int32_t size);
  void ComputeUnguarded(const float* pTransform, std::uint32_t seed, bool bCombineStrips);
  void ComputeLeafStaticLightingUnguarded();
  void FillIndexed(SGeometry::SIndexed& out, const CIndexedGeometry& geometry, std::int32_t numLods,
                   float value) const;
  void FillMapBankFromCore();

  // Supplemental sections (tree_rt_sections.cpp).
  // Reads the section `token` opens; false when the token opens none.
  bool ParseSection(std::int32_t token, CTreeFileAccess& file);
  void SaveSections(CTreeFileAccess& file) const;
  void ParseLightingInfo(CTreeFileAccess& file);
  void ParseLodInfo(CTreeFileAccess& file);
  void ParseEngineLodInfo(CTreeFileAccess& file);
  void ParseTextureCoordInfo(CTreeFileAccess& file);
  void ParseNewWindInfo(CTreeFileAccess& file);
  void ParseCollisionObjects(CTreeFileAccess& file);
  void ParseTextureControls(CTreeFileAccess& file);
  void ParseFlareInfo(CTreeFileAccess& file);
  void ParseShadowProjectionInfo(CTreeFileAccess& file);
  void ParseUserData(CTreeFileAccess& file);
  void ParseSupplementalTexCoordInfo(CTreeFileAccess& file);
  void ParseLightSeamReduction(CTreeFileAccess& file);
  void ParseSupplementalLeafPlacement(CTreeFileAccess& file);
  void ParseSupplementalBranchInfo(CTreeFileAccess& file);
  void ParseFloorInfo(CTreeFileAccess& file);
  void ParseLeafNormalSmoothing(CTreeFileAccess& file);
  void ParseClusterInfo(CTreeFileAccess& file);
  void ParseStandardShaderInfo(CTreeFileAccess& file);
  void ParseTexCoordControls(CTreeFileAccess& file);
  void ParseMeshInfo(CTreeFileAccess& file);
  void ParseLeafMeshInfo(CTreeFileAccess& file);
  void ParseSupplementalCollision(CTreeFileAccess& file);
  void ParseSupplementalGlobal(CTreeFileAccess& file);
  void ParseSection75000(CTreeFileAccess& file);

  // Owned parts, in declaration order.
  CTreeEngine* m_pEngine = nullptr;
  CIndexedGeometry* m_pBranchGeometry = nullptr;
  CLeafGeometry* m_pLeafGeometry = nullptr;
  SGeometry::SLeaf* m_pLeafLods = nullptr;  // counted array
  CLightingEngine* m_pLightingEngine = nullptr;
  CWindMatrices* m_pWindEngine = nullptr;
  SSimpleBillboard* m_pSimpleBillboard = nullptr;
  float* m_pLeafLodSizeFactors = nullptr;  // counted array, never made here
  std::int32_t* m_pInstancesRefCount = nullptr;
  void* m_pInstanceRecord = nullptr;  // no instance objects exist in this system
  TreeVector<CTreeRT*>* m_pInstanceList = nullptr;
  float* m_pTreeSizes = nullptr;  // counted array of 7
  bool m_bComputed = false;
  SEmbeddedTexCoords* m_pEmbeddedTexCoords = nullptr;
  SProjectedShadow* m_pProjectedShadow = nullptr;
  TreeVector<SCollisionObject>* m_pCollisionObjects = nullptr;
  CFrondEngine* m_pFrondEngine = nullptr;
  CIndexedGeometry* m_pFrondGeometry = nullptr;
  char* m_pUserData = nullptr;  // counted array, terminator included
  std::int32_t m_nNumFrondLods = 0;
  STreeMapBank* m_pMapBank = nullptr;
  // Which sections the last LoadTree read.
  bool m_bReadTexCoordControls = false;
  bool m_bReadMapBank = false;
  TreeVector<std::int32_t> m_vSectionTokens;
};

}  // namespace trt
