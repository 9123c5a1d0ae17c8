// The branch-level records of a tree description: STreeTextureLayer (seven
// per level), STreeBranchInfo (one per branch level) and STreeRootSupport
// (a branch level with the root-support values).
//
// Plain records: public fields whose initialisers are the defaults a block
// that omits a field leaves in place. Their readers throw TreeFileError with
// the record's malformed-data text, and the premature-end text when the data
// ends inside them (CTreeFileAccess).
#pragma once

#include <cstdint>

#include "treeruntime/bezier_spline.h"
#include "treeruntime/tree_file_access.h"

namespace trt {

// Tokens of a branch-level record and of its supplemental fields.
namespace branch_token {
inline constexpr std::int32_t kBegin = 1016;
inline constexpr std::int32_t kEnd = 1017;
inline constexpr std::int32_t kSupplementalBegin = 40007;
inline constexpr std::int32_t kSupplementalEnd = 40008;
inline constexpr std::int32_t kLayerBegin = 50002;
inline constexpr std::int32_t kLayerEnd = 50003;
}  // namespace branch_token

// How texture coordinates of one texture layer of a branch level are made.
struct STreeTextureLayer {
  float m_fUScale = 1.0f;        // 50004 (layer 0 also 6013)
  float m_fVScale = 1.0f;        // 50005 (layer 0 also 6014)
  bool m_bAbsoluteU = true;      // 50006 (layer 0 also 6015)
  bool m_bAbsoluteV = false;     // 50007 (layer 0 also 6016)
  bool m_bFlag3 = false;         // 50009 (layer 0 also 15002)
  float m_fValue3 = 0.0f;        // 50008 (layer 0 also 15003)
  float m_fValue4 = 0.0f;        // 50017
  float m_fValue5 = 0.0f;        // 50010
  bool m_bFlag4 = false;         // 50011
  bool m_bFlag5 = false;         // 50012
  float m_afRect[4] = {0.0f, 1.0f, 0.0f, 1.0f};  // 50013 .. 50016
  // Set: the layer takes layer 0's settings when a block brings no texture
  // coordinate controls (STreeBranchInfo::ApplyDefaultTextureControls).
  bool m_bFlag6 = true;          // 50018

  // One layer of the texture-coordinate controls: 50002, then fields in any
  // order until 50003. A missing 50002 or an unknown token throws
  // "malformed tex coord controls".
  void Parse(CTreeFileAccess& file);
  // 50002, every field (50004, 50005, 50006, 50007, 50009, 50008, 50010,
  // 50017, 50011, 50012, 50013 .. 50016, 50018), 50003.
  void Save(CTreeFileAccess& file) const;

  bool operator==(const STreeTextureLayer&) const = default;
  // Every field equal, floats compared by their bits.
  bool SameAs(const STreeTextureLayer& other) const;
};

struct STreeBranchInfo {
  static constexpr int kNumTextureLayers = 7;
  static constexpr int kNumFlareValues = 9;
  // The curve every supplemental curve a block leaves empty gets.
  static constexpr const char* kDefaultCurveText = "BezierSpline 0 1 0 { 2 0 1 1 0 0.1 1 1 1 0 0.1 }";

  std::int32_t m_nCrossSections = 6;  // 6008
  std::int32_t m_nSegments = 3;       // 6009
  float m_fFirstChild = 0.3f;         // 6010
  float m_fLastChild = 1.0f;          // 6011
  float m_fFrequency = 0.3f;          // 6012
  STreeTextureLayer m_acTextureLayers[kNumTextureLayers];
  float m_fSegmentExponent = 1.0f;    // 16002
  std::int32_t m_nNumFlares = 0;      // 16003
  float m_afFlareValues[kNumFlareValues] = {1.0f, 30.0f, 10.0f, 1.0f, 0.5f, 0.25f, 0.3f, 0.1f, 1.0f};  // 16004 .. 16012
  float m_afLightSeam[2] = {1.0f, 1.0f};  // 23002, 23003
  float m_fRoughness = 0.0f;              // 26004
  float m_fRoughnessFreqAlong = 30.0f;    // 26015
  float m_fRoughnessFreqAround = 5.0f;    // 26016
  float m_fRandomRoughness = 0.0f;        // 26017
  float m_fSegmentReduction = 1.0f;       // 26005
  float m_fCrossSectionReduction = 1.0f;  // 26006
  float m_fParentFilter = 0.0f;           // 26007
  std::int32_t m_nParentFilterLevel = 0;  // 26008
  bool m_bSnapToKinks = false;            // 26009
  float m_fSnapChance = 1.0f;             // 26010
  float m_fKinkAngle = 0.0f;              // 26011
  std::int32_t m_nMaxChildrenPerVertex = 1;  // 26012
  float m_fTwist = 0.0f;                  // 26021
  bool m_bTwistFixed = false;             // 26023
  stBezierSpline m_sDisturbance;          // 6000
  stBezierSpline m_sGravity;              // 6001
  stBezierSpline m_sFlexibility;          // 6002
  stBezierSpline m_sFlexibilityProfile;   // 6003
  stBezierSpline m_sLength;               // 6004
  stBezierSpline m_sRadius;               // 6005
  stBezierSpline m_sRadiusProfile;        // 6006
  stBezierSpline m_sStartAngle;           // 6007
  stBezierSpline m_sGravityProfile;       // 6017
  stBezierSpline m_sCrossSectionProfile;  // 26013
  stBezierSpline m_sNormalBlend;          // 26014
  stBezierSpline m_sRoughnessProfile;     // 26018
  stBezierSpline m_sChildDensity;         // 26019
  stBezierSpline m_sNormalBlendBase;      // 26020
  stBezierSpline m_sTwistProfile;         // 26022

  // A new record (tracked, tag "STreeBranchInfo::Parse, pInfo") read by
  // ParseInto; the caller owns it (TrackedDelete). Nothing is leaked when
  // the read fails.
  static STreeBranchInfo* Parse(CTreeFileAccess& file);
  // 1016 (else "malformed branch data"), then fields in any order until 1017;
  // a token that is not a field of the record (1017 right after 1016
  // included) throws "malformed general branch information".
  void ParseInto(CTreeFileAccess& file);
  // 1016, 6000 .. 6007, 6008, 6009, 6010 .. 6014, 6015, 6016, 6017, 1017.
  void Save(CTreeFileAccess& file) const;

  // The supplemental fields, read after 40007: tokens in any order until
  // 40008 (a 40008 in first place is passed over, the record then ends at
  // the next one). Unknown tokens throw "malformed supplemental branch
  // information".
  void ParseSupplemental(CTreeFileAccess& file);
  // 40007, 15003, 15002, 16002 .. 16012, the 26000 fields in their written
  // order (SaveSupplementalBranchFields), 40008. 23002 and 23003 are not
  // written.
  void SaveSupplemental(CTreeFileAccess& file) const;

  // Reads the value of one supplemental field named by `token` (15002,
  // 15003, 16002 .. 16012, 23002, 23003, 26004 .. 26023); false, with
  // nothing read, for any other token. Shared with the supplemental
  // sections that carry the same fields.
  bool ParseSupplementalField(std::int32_t token, CTreeFileAccess& file);
  // 26004, 26015, 26016, 26017, 26005, 26006, 26007, 26008, 26009, 26010,
  // 26011, 26012, the curves 26013, 26014, 26018, 26019, 26020, 26022, then
  // 26021, 26023, each token with its value.
  void SaveSupplementalBranchFields(CTreeFileAccess& file) const;

  // Each of the six supplemental curves (26013, 26014, 26018, 26019, 26020,
  // 26022) without control points gets kDefaultCurveText's curve.
  void ApplyDefaultCurves();
  // The same with `defaultCurve` (kDefaultCurveText's curve) made once:
  // the curves that take it share its points and table.
  void ApplyDefaultCurves(const stBezierSpline& defaultCurve);
  // For layers 1 to 6: a layer whose flag 6 is set becomes a copy of layer 0.
  void ApplyDefaultTextureControls();

  // True when every field, layer and curve is the same bit for bit (floats
  // compared by their bits, so that a record judged the same saves the same
  // bytes). The engine lets levels that are the same share one record.
  bool SameAs(const STreeBranchInfo& other) const;
};

// The root-support record: a branch level followed by four values.
struct STreeRootSupport {
  STreeBranchInfo m_sBranch;
  std::int32_t m_nValue40002 = 1;
  float m_fValue40003 = 0.0f;
  float m_fValue40004 = 0.15f;
  float m_fValue40005 = 0.2f;

  // Section 40000, read after its start token: tokens in any order until
  // 40001: 40002 int, 40003 .. 40005 float, 40006 a branch-level record
  // (1016 .. 1017), 40007 its supplemental fields (.. 40008). Any other
  // token throws "malformed root support info".
  void Parse(CTreeFileAccess& file);
  // 40000, 40002, 40003, 40004, 40005, 40006 and the record, the
  // supplemental fields (40007 .. 40008), 40001.
  void Save(CTreeFileAccess& file) const;
};

}  // namespace trt
