#include "treeruntime/tree_branch_info.h"

#include <bit>
#include <utility>

namespace trt {
namespace {

constexpr const char* kMalformedLayer = "malformed tex coord controls";
constexpr const char* kMalformedRecord = "malformed general branch information";
constexpr const char* kMalformedSupplemental = "malformed supplemental branch information";
constexpr const char* kMalformedRootSupport = "malformed root support info";

// Token of the first of the eleven flare values (16002 .. 16012).
constexpr std::int32_t kFlareFirstToken = 16002;

// The six supplemental curves in written order, with their tokens.
struct CurveField {
  std::int32_t token;
  stBezierSpline STreeBranchInfo::*curve;
};
constexpr CurveField kSupplementalCurves[] = {
    {26013, &STreeBranchInfo::m_sCrossSectionProfile}, {26014, &STreeBranchInfo::m_sNormalBlend},
    {26018, &STreeBranchInfo::m_sRoughnessProfile},    {26019, &STreeBranchInfo::m_sChildDensity},
    {26020, &STreeBranchInfo::m_sNormalBlendBase},     {26022, &STreeBranchInfo::m_sTwistProfile},
};

// The curves of the core record, 6000 .. 6007.
constexpr stBezierSpline STreeBranchInfo::*kCoreCurves[] = {
    &STreeBranchInfo::m_sDisturbance, &STreeBranchInfo::m_sGravity,       &STreeBranchInfo::m_sFlexibility,
    &STreeBranchInfo::m_sFlexibilityProfile, &STreeBranchInfo::m_sLength, &STreeBranchInfo::m_sRadius,
    &STreeBranchInfo::m_sRadiusProfile,      &STreeBranchInfo::m_sStartAngle,
};

bool SameBits(float a, float b) { return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b); }

template <std::size_t N>
bool SameBits(const float (&a)[N], const float (&b)[N]) {
  for (std::size_t i = 0; i < N; ++i) {
    if (!SameBits(a[i], b[i])) return false;
  }
  return true;
}

}  // namespace

// --- STreeTextureLayer ------------------------------------------------------

void STreeTextureLayer::Parse(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "tex coord controls");
  if (file.ParseToken() != branch_token::kLayerBegin) throw TreeFileError("%s", kMalformedLayer);
  for (std::int32_t token = file.ParseToken(); token != branch_token::kLayerEnd; token = file.ParseToken()) {
    switch (token) {
      case 50004: m_fUScale = file.ParseFloat(); break;
      case 50005: m_fVScale = file.ParseFloat(); break;
      case 50006: m_bAbsoluteU = file.ParseBool(); break;
      case 50007: m_bAbsoluteV = file.ParseBool(); break;
      case 50008: m_fValue3 = file.ParseFloat(); break;
      case 50009: m_bFlag3 = file.ParseBool(); break;
      case 50010: m_fValue5 = file.ParseFloat(); break;
      case 50011: m_bFlag4 = file.ParseBool(); break;
      case 50012: m_bFlag5 = file.ParseBool(); break;
      case 50013: m_afRect[0] = file.ParseFloat(); break;
      case 50014: m_afRect[1] = file.ParseFloat(); break;
      case 50015: m_afRect[2] = file.ParseFloat(); break;
      case 50016: m_afRect[3] = file.ParseFloat(); break;
      case 50017: m_fValue4 = file.ParseFloat(); break;
      case 50018: m_bFlag6 = file.ParseBool(); break;
      default: throw TreeFileError("%s", kMalformedLayer);
    }
  }
}

void STreeTextureLayer::Save(CTreeFileAccess& file) const {
  file.SaveToken(branch_token::kLayerBegin);
  file.SaveToken(50004);
  file.SaveFloat(m_fUScale);
  file.SaveToken(50005);
  file.SaveFloat(m_fVScale);
  file.SaveToken(50006);
  file.SaveBool(m_bAbsoluteU);
  file.SaveToken(50007);
  file.SaveBool(m_bAbsoluteV);
  file.SaveToken(50009);
  file.SaveBool(m_bFlag3);
  file.SaveToken(50008);
  file.SaveFloat(m_fValue3);
  file.SaveToken(50010);
  file.SaveFloat(m_fValue5);
  file.SaveToken(50017);
  file.SaveFloat(m_fValue4);
  file.SaveToken(50011);
  file.SaveBool(m_bFlag4);
  file.SaveToken(50012);
  file.SaveBool(m_bFlag5);
  for (int i = 0; i < 4; ++i) {
    file.SaveToken(50013 + i);
    file.SaveFloat(m_afRect[i]);
  }
  file.SaveToken(50018);
  file.SaveBool(m_bFlag6);
  file.SaveToken(branch_token::kLayerEnd);
}

// A field added to a record must join its SameAs, or levels that differ in
// it alone would share one record; the sizes below catch the addition.
static_assert(sizeof(STreeTextureLayer) == 48, "compare every field in STreeTextureLayer::SameAs");
static_assert(sizeof(STreeBranchInfo) == 944, "compare every field in STreeBranchInfo::SameAs");

bool STreeTextureLayer::SameAs(const STreeTextureLayer& other) const {
  return SameBits(m_fUScale, other.m_fUScale) && SameBits(m_fVScale, other.m_fVScale) &&
         m_bAbsoluteU == other.m_bAbsoluteU && m_bAbsoluteV == other.m_bAbsoluteV && m_bFlag3 == other.m_bFlag3 &&
         SameBits(m_fValue3, other.m_fValue3) && SameBits(m_fValue4, other.m_fValue4) &&
         SameBits(m_fValue5, other.m_fValue5) && m_bFlag4 == other.m_bFlag4 && m_bFlag5 == other.m_bFlag5 &&
         SameBits(m_afRect, other.m_afRect) && m_bFlag6 == other.m_bFlag6;
}

// --- STreeBranchInfo --------------------------------------------------------

bool STreeBranchInfo::SameAs(const STreeBranchInfo& other) const {
  for (int layer = 0; layer < kNumTextureLayers; ++layer) {
    if (!m_acTextureLayers[layer].SameAs(other.m_acTextureLayers[layer])) return false;
  }
  for (stBezierSpline STreeBranchInfo::*curve : kCoreCurves) {
    if (!(this->*curve).SameAs(other.*curve)) return false;
  }
  for (const CurveField& field : kSupplementalCurves) {
    if (!(this->*field.curve).SameAs(other.*field.curve)) return false;
  }
  if (!m_sGravityProfile.SameAs(other.m_sGravityProfile)) return false;
  return m_nCrossSections == other.m_nCrossSections && m_nSegments == other.m_nSegments &&
         SameBits(m_fFirstChild, other.m_fFirstChild) && SameBits(m_fLastChild, other.m_fLastChild) &&
         SameBits(m_fFrequency, other.m_fFrequency) && SameBits(m_fSegmentExponent, other.m_fSegmentExponent) &&
         m_nNumFlares == other.m_nNumFlares && SameBits(m_afFlareValues, other.m_afFlareValues) &&
         SameBits(m_afLightSeam, other.m_afLightSeam) && SameBits(m_fRoughness, other.m_fRoughness) &&
         SameBits(m_fRoughnessFreqAlong, other.m_fRoughnessFreqAlong) &&
         SameBits(m_fRoughnessFreqAround, other.m_fRoughnessFreqAround) &&
         SameBits(m_fRandomRoughness, other.m_fRandomRoughness) &&
         SameBits(m_fSegmentReduction, other.m_fSegmentReduction) &&
         SameBits(m_fCrossSectionReduction, other.m_fCrossSectionReduction) &&
         SameBits(m_fParentFilter, other.m_fParentFilter) && m_nParentFilterLevel == other.m_nParentFilterLevel &&
         m_bSnapToKinks == other.m_bSnapToKinks && SameBits(m_fSnapChance, other.m_fSnapChance) &&
         SameBits(m_fKinkAngle, other.m_fKinkAngle) && m_nMaxChildrenPerVertex == other.m_nMaxChildrenPerVertex &&
         SameBits(m_fTwist, other.m_fTwist) && m_bTwistFixed == other.m_bTwistFixed;
}

STreeBranchInfo* STreeBranchInfo::Parse(CTreeFileAccess& file) {
  STreeBranchInfo* info = TrackedNew<STreeBranchInfo>("STreeBranchInfo::Parse, pInfo");
  try {
    info->ParseInto(file);
  } catch (...) {
    TrackedDelete(info);
    throw;
  }
  return info;
}

void STreeBranchInfo::ParseInto(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "general branch information");
  if (file.ParseToken() != branch_token::kBegin) throw TreeFileError("malformed branch data");
  // The first token after 1016 must be a field: an empty record is malformed.
  std::int32_t token = file.ParseToken();
  do {
    if (token >= 6000 && token <= 6007) {
      file.ParseSpline(this->*kCoreCurves[token - 6000]);
    } else {
      STreeTextureLayer& layer0 = m_acTextureLayers[0];
      switch (token) {
        case 6008: m_nCrossSections = file.ParseToken(); break;
        case 6009: m_nSegments = file.ParseToken(); break;
        case 6010: m_fFirstChild = file.ParseFloat(); break;
        case 6011: m_fLastChild = file.ParseFloat(); break;
        case 6012: m_fFrequency = file.ParseFloat(); break;
        case 6013: layer0.m_fUScale = file.ParseFloat(); break;
        case 6014: layer0.m_fVScale = file.ParseFloat(); break;
        case 6015: layer0.m_bAbsoluteU = file.ParseBool(); break;
        case 6016: layer0.m_bAbsoluteV = file.ParseBool(); break;
        case 6017: file.ParseSpline(m_sGravityProfile); break;
        default: throw TreeFileError("%s", kMalformedRecord);
      }
    }
    token = file.ParseToken();
  } while (token != branch_token::kEnd);
}

void STreeBranchInfo::Save(CTreeFileAccess& file) const {
  file.SaveToken(branch_token::kBegin);
  for (int i = 0; i < 8; ++i) {
    file.SaveToken(6000 + i);
    file.SaveSpline(this->*kCoreCurves[i]);
  }
  file.SaveToken(6008);
  file.SaveToken(m_nCrossSections);
  file.SaveToken(6009);
  file.SaveToken(m_nSegments);
  file.SaveToken(6010);
  file.SaveFloat(m_fFirstChild);
  file.SaveToken(6011);
  file.SaveFloat(m_fLastChild);
  file.SaveToken(6012);
  file.SaveFloat(m_fFrequency);
  file.SaveToken(6013);
  file.SaveFloat(m_acTextureLayers[0].m_fUScale);
  file.SaveToken(6014);
  file.SaveFloat(m_acTextureLayers[0].m_fVScale);
  file.SaveToken(6015);
  file.SaveBool(m_acTextureLayers[0].m_bAbsoluteU);
  file.SaveToken(6016);
  file.SaveBool(m_acTextureLayers[0].m_bAbsoluteV);
  file.SaveToken(6017);
  file.SaveSpline(m_sGravityProfile);
  file.SaveToken(branch_token::kEnd);
}

bool STreeBranchInfo::ParseSupplementalField(std::int32_t token, CTreeFileAccess& file) {
  if (token == kFlareFirstToken) {
    m_fSegmentExponent = file.ParseFloat();
    return true;
  }
  if (token == kFlareFirstToken + 1) {
    m_nNumFlares = file.ParseToken();
    return true;
  }
  if (token >= kFlareFirstToken + 2 && token < kFlareFirstToken + 2 + kNumFlareValues) {
    m_afFlareValues[token - kFlareFirstToken - 2] = file.ParseFloat();
    return true;
  }
  for (const CurveField& field : kSupplementalCurves) {
    if (field.token == token) {
      file.ParseSpline(this->*field.curve);
      return true;
    }
  }
  switch (token) {
    case 15002: m_acTextureLayers[0].m_bFlag3 = file.ParseBool(); return true;
    case 15003: m_acTextureLayers[0].m_fValue3 = file.ParseFloat(); return true;
    case 23002: m_afLightSeam[0] = file.ParseFloat(); return true;
    case 23003: m_afLightSeam[1] = file.ParseFloat(); return true;
    case 26004: m_fRoughness = file.ParseFloat(); return true;
    case 26005: m_fSegmentReduction = file.ParseFloat(); return true;
    case 26006: m_fCrossSectionReduction = file.ParseFloat(); return true;
    case 26007: m_fParentFilter = file.ParseFloat(); return true;
    case 26008: m_nParentFilterLevel = file.ParseToken(); return true;
    case 26009: m_bSnapToKinks = file.ParseBool(); return true;
    case 26010: m_fSnapChance = file.ParseFloat(); return true;
    case 26011: m_fKinkAngle = file.ParseFloat(); return true;
    case 26012: m_nMaxChildrenPerVertex = file.ParseToken(); return true;
    case 26015: m_fRoughnessFreqAlong = file.ParseFloat(); return true;
    case 26016: m_fRoughnessFreqAround = file.ParseFloat(); return true;
    case 26017: m_fRandomRoughness = file.ParseFloat(); return true;
    case 26021: m_fTwist = file.ParseFloat(); return true;
    case 26023: m_bTwistFixed = file.ParseBool(); return true;
    default: return false;
  }
}

void STreeBranchInfo::ParseSupplemental(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "supplemental branch information");
  bool first = true;
  for (;;) {
    const std::int32_t token = file.ParseToken();
    if (token == branch_token::kSupplementalEnd) {
      if (!first) return;
    } else if (!ParseSupplementalField(token, file)) {
      throw TreeFileError("%s", kMalformedSupplemental);
    }
    first = false;
  }
}

void STreeBranchInfo::SaveSupplementalBranchFields(CTreeFileAccess& file) const {
  const std::pair<std::int32_t, float> leading[] = {
      {26004, m_fRoughness},        {26015, m_fRoughnessFreqAlong},    {26016, m_fRoughnessFreqAround},
      {26017, m_fRandomRoughness},  {26005, m_fSegmentReduction},      {26006, m_fCrossSectionReduction},
      {26007, m_fParentFilter},
  };
  for (const auto& [token, value] : leading) {
    file.SaveToken(token);
    file.SaveFloat(value);
  }
  file.SaveToken(26008);
  file.SaveToken(m_nParentFilterLevel);
  file.SaveToken(26009);
  file.SaveBool(m_bSnapToKinks);
  file.SaveToken(26010);
  file.SaveFloat(m_fSnapChance);
  file.SaveToken(26011);
  file.SaveFloat(m_fKinkAngle);
  file.SaveToken(26012);
  file.SaveToken(m_nMaxChildrenPerVertex);
  for (const CurveField& field : kSupplementalCurves) {
    file.SaveToken(field.token);
    file.SaveSpline(this->*field.curve);
  }
  file.SaveToken(26021);
  file.SaveFloat(m_fTwist);
  file.SaveToken(26023);
  file.SaveBool(m_bTwistFixed);
}

void STreeBranchInfo::SaveSupplemental(CTreeFileAccess& file) const {
  file.SaveToken(branch_token::kSupplementalBegin);
  file.SaveToken(15003);
  file.SaveFloat(m_acTextureLayers[0].m_fValue3);
  file.SaveToken(15002);
  file.SaveBool(m_acTextureLayers[0].m_bFlag3);
  file.SaveToken(kFlareFirstToken);
  file.SaveFloat(m_fSegmentExponent);
  file.SaveToken(kFlareFirstToken + 1);
  file.SaveToken(m_nNumFlares);
  for (int i = 0; i < kNumFlareValues; ++i) {
    file.SaveToken(kFlareFirstToken + 2 + i);
    file.SaveFloat(m_afFlareValues[i]);
  }
  SaveSupplementalBranchFields(file);
  file.SaveToken(branch_token::kSupplementalEnd);
}

void STreeBranchInfo::ApplyDefaultCurves() { ApplyDefaultCurves(stBezierSpline(kDefaultCurveText)); }

void STreeBranchInfo::ApplyDefaultCurves(const stBezierSpline& defaultCurve) {
  // Parsing the text sets every part of a curve, so a copy of the parsed
  // curve is the same curve.
  for (const CurveField& field : kSupplementalCurves) {
    stBezierSpline& curve = this->*field.curve;
    if (curve.Positions().empty()) curve = defaultCurve;
  }
}

void STreeBranchInfo::ApplyDefaultTextureControls() {
  for (int layer = 1; layer < kNumTextureLayers; ++layer) {
    if (m_acTextureLayers[layer].m_bFlag6) m_acTextureLayers[layer] = m_acTextureLayers[0];
  }
}

// --- STreeRootSupport -------------------------------------------------------

void STreeRootSupport::Parse(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "root support info");
  for (std::int32_t token = file.ParseToken(); token != 40001; token = file.ParseToken()) {
    switch (token) {
      case 40002: m_nValue40002 = file.ParseToken(); break;
      case 40003: m_fValue40003 = file.ParseFloat(); break;
      case 40004: m_fValue40004 = file.ParseFloat(); break;
      case 40005: m_fValue40005 = file.ParseFloat(); break;
      case 40006: m_sBranch.ParseInto(file); break;
      case branch_token::kSupplementalBegin: m_sBranch.ParseSupplemental(file); break;
      default: throw TreeFileError("%s", kMalformedRootSupport);
    }
  }
}

void STreeRootSupport::Save(CTreeFileAccess& file) const {
  file.SaveToken(40000);
  file.SaveToken(40002);
  file.SaveToken(m_nValue40002);
  file.SaveToken(40003);
  file.SaveFloat(m_fValue40003);
  file.SaveToken(40004);
  file.SaveFloat(m_fValue40004);
  file.SaveToken(40005);
  file.SaveFloat(m_fValue40005);
  file.SaveToken(40006);
  m_sBranch.Save(file);
  m_sBranch.SaveSupplemental(file);
  file.SaveToken(40001);
}

}  // namespace trt
