// CFrondEngine: turns the fronds the branch builder records along branches
// into frond vertices and strips of a CIndexedGeometry.
//
// A frond is a list of frames (position, orientation, wind data) with a
// length, a half width, a texture and a size. It is built either as flat
// blades through the frames (frond type 0) or as a profile curve extruded
// along them (frond type 1). Fronds are spread over the frond LODs by size
// (SelectLods): each LOD keeps a share of the total size, the largest fronds
// first; the extrusion strips of a coarser LOD use fewer frames and profile
// points.
//
// The settings travel in two SPT sections, 13000 (frond texture
// information) and 25000 (supplemental frond information); their readers
// throw TreeFileError. Compute throws TreeFileError for an unknown frond
// type and for more than 65535 vertices, building nothing then.
//
// The engines share class-wide scratch tables, freed by the last instance;
// like all runtime state they are unguarded.
#pragma once

#include <cstdint>
#include <string>

#include "treeruntime/bezier_spline.h"
#include "treeruntime/tree_file_access.h"
#include "treeruntime/tree_math.h"
#include "treeruntime/tree_memory.h"

namespace trt {

class CIndexedGeometry;
class CLightingEngine;

// One cross section of a frond.
struct stFrondFrame {
  stVec3 m_vPosition;
  stMat3 m_mOrientation;
  float m_fWindWeight1 = 0.0f;
  float m_fWindWeight2 = 0.0f;
  std::uint8_t m_ucWindMatrix1 = 0;
  std::uint8_t m_ucWindMatrix2 = 0;
};

// A frond texture (section 13000).
struct SFrondTexture {
  std::string m_strFileName;  // 14002, without directories
  // 14003, 14004: scale the frond width; 14005, 14006: bound its random
  // start angle.
  float m_afValues[4] = {0.5f, 1.0f, 0.0f, 0.0f};
};

// One frond.
struct SFrond {
  static constexpr std::int32_t kInlineFrames = 8;

  std::int32_t m_nFrameCapacity = 0;  // the count given to AddFrond
  std::int32_t m_nNumFrames = 0;
  // Up to kInlineFrames frames live inline; a frond announced with more, or
  // given more, keeps them all in the vector.
  stFrondFrame m_acInlineFrames[kInlineFrames];
  TreeVector<stFrondFrame> m_vFrames;
  float m_fLength = 0.0f;
  float m_fHalfWidth = 0.0f;
  std::uint8_t m_ucTexture = 0;  // the layer-0 texture tag of its vertices
  float m_fStartAngle = 0.0f;    // degrees
  float m_fSize = 0.0f;
  float m_fPriority = 0.0f;
  std::int32_t m_nFirstVertex = -1;  // -1 until built
  std::int32_t m_nPointsPerSection = 0;

  const stFrondFrame* Frames() const { return m_vFrames.empty() ? m_acInlineFrames : m_vFrames.data(); }
  void AddFrame(const stFrondFrame& frame);
};

class CFrondEngine {
 public:
  static constexpr const char* kDefaultProfileText =
      "BezierSpline 0.0 1.0 0.0 { 3 0 0.00138887 0.337009 0.941501 0.132767 0.493215 0.998903 1 0.00102074 "
      "0.23702 1 -6.24607e-008 0.307222 -0.951638 0.126974 }";
  // The geometry's indices stay below this many vertices.
  static constexpr std::int32_t kMaxVertices = 65535;

  // The defaults below and the default profile (tracked); counts the
  // instance.
  CFrondEngine();
  // Frees the profile and the fronds; the last instance frees the shared
  // scratch tables.
  ~CFrondEngine();
  CFrondEngine(const CFrondEngine&) = delete;
  CFrondEngine& operator=(const CFrondEngine&) = delete;

  static std::int32_t GetInstanceCount();
  // Bytes the shared scratch tables hold (0 once the last instance is gone).
  static std::size_t GetScratchCapacity();

  // --- fronds ------------------------------------------------------------------
  // Appends a frond announced with `frameCount` frames and returns it.
  SFrond& AddFrond(std::int32_t frameCount);
  // Appends a frame to the last frond (nothing without one).
  void AddFrame(const stFrondFrame& frame);
  // Completes the last frond: its length is the sum of the fast distances
  // between consecutive frames. With frond textures: texture = trunc(uniform
  // draw in [0, 100000]) mod their count, half width = value 1 x length x
  // scale x value 2, start angle = a uniform draw between values 3 and 4,
  // negated when the number of fronds is odd. Without: texture 0, angle 0,
  // half width = length x scale. Size = length x scale.
  void FinishFrond(float scale);

  std::int32_t GetFrondLevel() const { return m_nFirstFrondLevel; }
  std::uint8_t GetFrondFlag() const { return m_ucFrondsEnabled; }
  void GetSupplemental(float& threshold, std::int32_t& levelCount, std::int32_t& upperKind,
                       std::int32_t& lowerKind) const;
  void SetFullResolution() { m_ucFullResolution = 1; }

  // --- sections ------------------------------------------------------------------
  // Section 13000, read after its start token: tokens in any order until
  // 13001. 13008 replaces the texture list: a count, then per texture one
  // token (not tested) and fields until 14001 (14002 name without
  // directories, 14003 .. 14006 values), each texture from the defaults.
  // Unknown tokens throw "malformed frond info (token N)" outside a texture
  // and "malformed frond texture information (token N)" inside one.
  void ParseFrondTextureInfo(CTreeFileAccess& file);
  // 13000, 13002, 13003, 13004, 13005 (profile), 13006, 13007 (byte), 13009,
  // 13010 .. 13013, 14007, 14008, 13008 with the count and per texture
  // 14000, 14002, 14003 .. 14006, 14001; then 13001.
  void SaveFrondTextureInfo(CTreeFileAccess& file) const;
  // Section 25000, read after its start token: 25002 .. 25007 in any order
  // until 25001 (25007 a byte, stored as 0 or 1). Any other token, a 25001
  // in first place included, throws "malformed supplemental frond info
  // (token N)".
  void ParseSupplementalFrondInfo(CTreeFileAccess& file);
  // 25000, 25003, 25002, 25004, 25005, 25006, 25007 (byte), 25001.
  void SaveSupplementalFrondInfo(CTreeFileAccess& file) const;

  // --- geometry ------------------------------------------------------------------
  // Selects the fronds of each LOD, then builds the vertices of the fronds
  // of LOD 0 and every LOD's strips into `geometry` (SetNumLods with the
  // frond LOD count, a negative one counting as 0). Vertices are lit with
  // `lighting`'s frond material when its frond method is 1 (static), else
  // they carry normals, binormals and tangents. Refusals, with nothing
  // built: a frond type other than 0 and 1 ("default reached in
  // CFrondEngine::Compute()"), 65536 or more vertices ("frond vertices
  // exceed 65535"). Settings no geometry can be made from (type 0 with
  // fewer than 1 blade, type 1 with fewer than 2 profile segments) and
  // fronds of fewer than 2 frames build nothing.
  void Compute(CIndexedGeometry* geometry, const CLightingEngine* lighting);
  // Priorities and the per-LOD frond lists (indices into the fronds): the
  // fronds above (1 - margin) x the largest size come first, the others by
  // priority r x max^2 + (1 - r) x size, r a uniform draw in [0, priority
  // randomness]. LOD l keeps fronds from the front while their running size
  // sum has not exceeded f x the total size (the frond that crosses it
  // included), f running from the first to the last fraction; none when
  // that target is not above 0.
  void SelectLods();
  // The LOD fade value of LOD l of n: 1 - (l + 1) / n, -1.0 for the last.
  static float LodFade(std::int32_t lod, std::int32_t lods);

  // --- the settings ---------------------------------------------------------
  CIndexedGeometry* m_pGeometry = nullptr;
  const CLightingEngine* m_pLightingEngine = nullptr;
  TreeVector<SFrond> m_vFronds;
  TreeVector<TreeVector<std::int32_t>> m_vLodFronds;
  std::int32_t m_nFrondType = 1;          // 13003
  std::int32_t m_nNumBlades = 2;          // 13004
  stBezierSpline* m_pProfile = nullptr;   // 13005
  std::int32_t m_nProfileSegments = 4;    // 13006
  std::int32_t m_nFirstFrondLevel = 1;    // 13002
  std::uint8_t m_ucFrondsEnabled = 0;     // 13007
  TreeVector<SFrondTexture> m_vTextures;  // 13008
  std::int32_t m_nNumLods = 4;            // 13009
  float m_fLodFractionFirst = 1.0f;       // 13010
  float m_fLodFractionLast = 0.0f;        // 13011
  float m_fPriorityRandomness = 0.0f;     // 13012
  float m_fLargeFrondMargin = 0.05f;      // 13013
  std::int32_t m_nMinExtraFrames = 2;     // 14007
  std::int32_t m_nMinProfileHalf = 1;     // 14008
  std::int32_t m_nKindLevelCount = 0;     // 25003
  float m_fKindThreshold = 0.0f;          // 25002
  std::int32_t m_nUpperKind = 0;          // 25004
  std::int32_t m_nLowerKind = 0;          // 25005
  std::int32_t m_nFrondSegments = 1;      // 25006
  std::uint8_t m_ucSegmentCountFlag = 0;  // 25007
  std::uint8_t m_ucFullResolution = 0;

 private:
  bool StaticLighting() const;
  std::int32_t NumLods() const { return m_nNumLods > 0 ? m_nNumLods : 0; }
  // The frond's vertex: position, layer-0 coordinates with the frond's tag,
  // a colour or the three directions, wind data; advances the cursor.
  void EmitVertex(const SFrond& frond, const stFrondFrame& frame, const stVec3& position, float u, float v,
                  const stVec3& normal, const stVec3& tangent, const stVec3& binormal);
  void BuildBlades(SFrond& frond);
  void BuildBladeStrips(std::int32_t lod, const SFrond& frond);
  void BuildProfile(float halfWidth);
  void BuildExtrusion(SFrond& frond);
  void BuildExtrusionStrips(std::int32_t lod, const SFrond& frond);
  void SetFades(std::int32_t lod, const TreeVector<std::int32_t>& strip);
};

}  // namespace trt
