#include "treeruntime/frond_engine.h"

#include <algorithm>
#include <cmath>

#include "treeruntime/indexed_geometry.h"
#include "treeruntime/lighting_engine.h"
#include "treeruntime/tree_random.h"

namespace trt {
namespace {

namespace token {
constexpr std::int32_t kTextureInfoBegin = 13000;
constexpr std::int32_t kTextureInfoEnd = 13001;
constexpr std::int32_t kTextureList = 13008;
constexpr std::int32_t kTextureBegin = 14000;
constexpr std::int32_t kTextureEnd = 14001;
constexpr std::int32_t kSupplementalBegin = 25000;
constexpr std::int32_t kSupplementalEnd = 25001;
}  // namespace token

// The smallest texture record: its leading token and 14001.
constexpr std::size_t kMinTextureBytes = 8;
// Below this length a cross product gives no usable direction.
constexpr float kShortCross = 0.1f;

// Work rows shared by every frond engine: the blade directions of one blade
// and the profile points, normals and tangents of one frond.
struct Scratch {
  std::int32_t instances = 0;
  TreeVector<stVec3> bladeDirections;
  TreeVector<stVec3> profilePoints;
  TreeVector<stVec3> profileNormals;
  TreeVector<stVec3> profileTangents;
  TreeVector<std::int32_t> strip;
};

Scratch g_cScratch;

float Length(const stVec3& v) { return std::sqrt(Dot(v, v)); }

// The normalised cross product a x b, or `fallback` when it is too short to
// give a direction.
stVec3 CrossOr(const stVec3& a, const stVec3& b, const stVec3& fallback) {
  stVec3 c = Cross(a, b);
  if (Length(c) < kShortCross) return fallback;
  c.Normalize();
  return c;
}

stVec3 Mean(const stVec3& a, const stVec3& b) { return (a + b) * 0.5f; }

}  // namespace

void SFrond::AddFrame(const stFrondFrame& frame) {
  if (m_vFrames.empty() && m_nNumFrames < kInlineFrames && m_nFrameCapacity <= kInlineFrames) {
    m_acInlineFrames[m_nNumFrames] = frame;
  } else {
    // More frames than fit inline: they all move to the vector.
    if (m_vFrames.empty()) m_vFrames.assign(m_acInlineFrames, m_acInlineFrames + m_nNumFrames);
    m_vFrames.push_back(frame);
  }
  ++m_nNumFrames;
}

CFrondEngine::CFrondEngine() {
  m_pProfile = TrackedNew<stBezierSpline>("CFrondEngine::CFrondEngine, m_pProfile", kDefaultProfileText);
  ++g_cScratch.instances;
}

CFrondEngine::~CFrondEngine() {
  TrackedDelete(m_pProfile);
  if (--g_cScratch.instances == 0) {
    FreeVector(g_cScratch.bladeDirections);
    FreeVector(g_cScratch.profilePoints);
    FreeVector(g_cScratch.profileNormals);
    FreeVector(g_cScratch.profileTangents);
    FreeVector(g_cScratch.strip);
  }
}

std::int32_t CFrondEngine::GetInstanceCount() { return g_cScratch.instances; }

std::size_t CFrondEngine::GetScratchCapacity() {
  return (g_cScratch.bladeDirections.capacity() + g_cScratch.profilePoints.capacity() +
          g_cScratch.profileNormals.capacity() + g_cScratch.profileTangents.capacity()) *
             sizeof(stVec3) +
         g_cScratch.strip.capacity() * sizeof(std::int32_t);
}

// --- fronds ---------------------------------------------------------------------

SFrond& CFrondEngine::AddFrond(std::int32_t frameCount) {
  m_vFronds.emplace_back();
  SFrond& frond = m_vFronds.back();
  frond.m_nFrameCapacity = frameCount;
  return frond;
}

void CFrondEngine::AddFrame(const stFrondFrame& frame) {
  if (!m_vFronds.empty()) m_vFronds.back().AddFrame(frame);
}

void CFrondEngine::FinishFrond(float scale) {
  if (m_vFronds.empty()) return;
  SFrond& frond = m_vFronds.back();
  const stFrondFrame* frames = frond.Frames();
  float length = 0.0f;
  for (std::int32_t s = 1; s < frond.m_nNumFrames; ++s) {
    length += FastDistance(frames[s - 1].m_vPosition, frames[s].m_vPosition);
  }
  frond.m_fLength = length;
  if (!m_vTextures.empty()) {
    const std::int32_t draw = TruncateToInt(CTreeRandom::GetUniform(0.0f, 100000.0f));
    const std::int32_t count = static_cast<std::int32_t>(m_vTextures.size());
    const std::int32_t index = ((draw % count) + count) % count;
    const SFrondTexture& texture = m_vTextures[static_cast<std::size_t>(index)];
    frond.m_ucTexture = static_cast<std::uint8_t>(index);
    frond.m_fHalfWidth = texture.m_afValues[0] * length * scale * texture.m_afValues[1];
    float angle = CTreeRandom::GetUniform(texture.m_afValues[2], texture.m_afValues[3]);
    if (m_vFronds.size() % 2 != 0) angle = -angle;
    frond.m_fStartAngle = angle;
  } else {
    frond.m_ucTexture = 0;
    frond.m_fStartAngle = 0.0f;
    frond.m_fHalfWidth = length * scale;
  }
  frond.m_fSize = length * scale;
}

void CFrondEngine::GetSupplemental(float& threshold, std::int32_t& levelCount, std::int32_t& upperKind,
                                   std::int32_t& lowerKind) const {
  threshold = m_fKindThreshold;
  levelCount = m_nKindLevelCount;
  upperKind = m_nUpperKind;
  lowerKind = m_nLowerKind;
}

// --- sections -------------------------------------------------------------------

void CFrondEngine::ParseFrondTextureInfo(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "frond info");
  for (std::int32_t t = file.ParseToken(); t != token::kTextureInfoEnd; t = file.ParseToken()) {
    switch (t) {
      case 13002: m_nFirstFrondLevel = file.ParseToken(); break;
      case 13003: m_nFrondType = file.ParseToken(); break;
      case 13004: m_nNumBlades = file.ParseToken(); break;
      case 13005: file.ParseSpline(*m_pProfile); break;
      case 13006: m_nProfileSegments = file.ParseToken(); break;
      case 13007: m_ucFrondsEnabled = file.ParseByte(); break;
      case 13009: m_nNumLods = file.ParseToken(); break;
      case 13010: m_fLodFractionFirst = file.ParseFloat(); break;
      case 13011: m_fLodFractionLast = file.ParseFloat(); break;
      case 13012: m_fPriorityRandomness = file.ParseFloat(); break;
      case 13013: m_fLargeFrondMargin = file.ParseFloat(); break;
      case 14007: m_nMinExtraFrames = file.ParseToken(); break;
      case 14008: m_nMinProfileHalf = file.ParseToken(); break;
      case token::kTextureList: {
        m_vTextures.clear();
        const std::int32_t count = file.ParseToken();
        file.RequireCount(count, kMinTextureBytes);
        for (std::int32_t i = 0; i < count; ++i) {
          SFrondTexture texture;
          file.ParseToken();  // the record's start token, not tested
          for (std::int32_t f = file.ParseToken(); f != token::kTextureEnd; f = file.ParseToken()) {
            if (f == 14002) {
              texture.m_strFileName = StripDirectories(file.ParseString());
            } else if (f >= 14003 && f <= 14006) {
              texture.m_afValues[f - 14003] = file.ParseFloat();
            } else {
              throw TreeFileError("malformed frond texture information (token %d)", f);
            }
          }
          m_vTextures.push_back(std::move(texture));
        }
        break;
      }
      default: throw TreeFileError("malformed frond info (token %d)", t);
    }
  }
}

void CFrondEngine::SaveFrondTextureInfo(CTreeFileAccess& file) const {
  file.SaveToken(token::kTextureInfoBegin);
  file.SaveToken(13002);
  file.SaveToken(m_nFirstFrondLevel);
  file.SaveToken(13003);
  file.SaveToken(m_nFrondType);
  file.SaveToken(13004);
  file.SaveToken(m_nNumBlades);
  file.SaveToken(13005);
  file.SaveSpline(*m_pProfile);
  file.SaveToken(13006);
  file.SaveToken(m_nProfileSegments);
  file.SaveToken(13007);
  file.SaveByte(m_ucFrondsEnabled);
  file.SaveToken(13009);
  file.SaveToken(m_nNumLods);
  const std::pair<std::int32_t, float> fractions[] = {
      {13010, m_fLodFractionFirst}, {13011, m_fLodFractionLast}, {13012, m_fPriorityRandomness},
      {13013, m_fLargeFrondMargin}};
  for (const auto& [t, value] : fractions) {
    file.SaveToken(t);
    file.SaveFloat(value);
  }
  file.SaveToken(14007);
  file.SaveToken(m_nMinExtraFrames);
  file.SaveToken(14008);
  file.SaveToken(m_nMinProfileHalf);
  file.SaveToken(token::kTextureList);
  file.SaveToken(static_cast<std::int32_t>(m_vTextures.size()));
  for (const SFrondTexture& texture : m_vTextures) {
    file.SaveToken(token::kTextureBegin);
    file.SaveToken(14002);
    file.SaveString(StripDirectories(texture.m_strFileName));
    for (int i = 0; i < 4; ++i) {
      file.SaveToken(14003 + i);
      file.SaveFloat(texture.m_afValues[i]);
    }
    file.SaveToken(token::kTextureEnd);
  }
  file.SaveToken(token::kTextureInfoEnd);
}

void CFrondEngine::ParseSupplementalFrondInfo(CTreeFileAccess& file) {
  CTreeFileAccess::CParseContext context(file, "supplemental frond info");
  std::int32_t t = file.ParseToken();
  // The section holds at least one field: 25001 in first place is malformed.
  do {
    switch (t) {
      case 25002: m_fKindThreshold = file.ParseFloat(); break;
      case 25003: m_nKindLevelCount = file.ParseToken(); break;
      case 25004: m_nUpperKind = file.ParseToken(); break;
      case 25005: m_nLowerKind = file.ParseToken(); break;
      case 25006: m_nFrondSegments = file.ParseToken(); break;
      case 25007: m_ucSegmentCountFlag = file.ParseByte() != 0 ? 1 : 0; break;
      default: throw TreeFileError("malformed supplemental frond info (token %d)", t);
    }
    t = file.ParseToken();
  } while (t != token::kSupplementalEnd);
}

void CFrondEngine::SaveSupplementalFrondInfo(CTreeFileAccess& file) const {
  file.SaveToken(token::kSupplementalBegin);
  file.SaveToken(25003);
  file.SaveToken(m_nKindLevelCount);
  file.SaveToken(25002);
  file.SaveFloat(m_fKindThreshold);
  file.SaveToken(25004);
  file.SaveToken(m_nUpperKind);
  file.SaveToken(25005);
  file.SaveToken(m_nLowerKind);
  file.SaveToken(25006);
  file.SaveToken(m_nFrondSegments);
  file.SaveToken(25007);
  file.SaveByte(m_ucSegmentCountFlag);
  file.SaveToken(token::kSupplementalEnd);
}

// --- geometry -------------------------------------------------------------------

float CFrondEngine::LodFade(std::int32_t lod, std::int32_t lods) {
  if (lod >= lods - 1) return -1.0f;
  return 1.0f - static_cast<float>(lod + 1) / static_cast<float>(lods);
}

bool CFrondEngine::StaticLighting() const {
  return m_pLightingEngine != nullptr && m_pLightingEngine->m_nFrondLightingMethod == 1;
}

void CFrondEngine::SelectLods() {
  float total = 0.0f;
  float largest = 0.0f;
  for (const SFrond& frond : m_vFronds) {
    total += frond.m_fSize;
    largest = std::max(largest, frond.m_fSize);
  }
  const float threshold = (1.0f - m_fLargeFrondMargin) * largest;
  TreeVector<std::int32_t> candidates;
  TreeVector<std::int32_t> large;
  for (std::size_t i = 0; i < m_vFronds.size(); ++i) {
    SFrond& frond = m_vFronds[i];
    if (frond.m_fSize > threshold) {
      large.push_back(static_cast<std::int32_t>(i));
      continue;
    }
    const float r = CTreeRandom::GetUniform(0.0f, m_fPriorityRandomness);
    frond.m_fPriority = r * largest * largest + (1.0f - r) * frond.m_fSize;
    candidates.push_back(static_cast<std::int32_t>(i));
  }
  auto higher = [this](std::int32_t a, std::int32_t b) {
    return m_vFronds[static_cast<std::size_t>(a)].m_fPriority > m_vFronds[static_cast<std::size_t>(b)].m_fPriority;
  };
  std::stable_sort(candidates.begin(), candidates.end(), higher);
  std::stable_sort(large.begin(), large.end(), higher);
  // The large fronds go to the front one by one.
  for (const std::int32_t index : large) candidates.insert(candidates.begin(), index);

  const std::int32_t lods = NumLods();
  m_vLodFronds.assign(static_cast<std::size_t>(lods), TreeVector<std::int32_t>());
  for (std::int32_t l = 0; l < lods; ++l) {
    const float f = lods == 1 ? m_fLodFractionFirst
                              : m_fLodFractionFirst + (m_fLodFractionLast - m_fLodFractionFirst) *
                                                          static_cast<float>(l) / static_cast<float>(lods - 1);
    const float target = f * total;
    if (!(target > 0.0f)) continue;
    TreeVector<std::int32_t>& kept = m_vLodFronds[static_cast<std::size_t>(l)];
    float sum = 0.0f;
    for (std::size_t k = 0; k < candidates.size() && sum <= target; ++k) {
      kept.push_back(candidates[k]);
      sum += m_vFronds[static_cast<std::size_t>(candidates[k])].m_fSize;
    }
  }
}

void CFrondEngine::Compute(CIndexedGeometry* geometry, const CLightingEngine* lighting) {
  m_pGeometry = geometry;
  m_pLightingEngine = lighting;
  SelectLods();

  // Settings no geometry can be made from: a blade count below 1 or a
  // profile of fewer than 2 segments would divide by zero.
  bool buildable = m_nFrondType == 0 ? m_nNumBlades >= 1 : m_nProfileSegments >= 2;
  std::int64_t vertices = 0;
  const TreeVector<std::int32_t> none;
  const TreeVector<std::int32_t>& first = m_vLodFronds.empty() ? none : m_vLodFronds[0];
  for (const std::int32_t index : first) {
    const SFrond& frond = m_vFronds[static_cast<std::size_t>(index)];
    if (frond.m_nNumFrames < 2) continue;
    switch (m_nFrondType) {
      case 0: vertices += static_cast<std::int64_t>(frond.m_nNumFrames) * std::max(m_nNumBlades, 0) * 2; break;
      case 1:
        vertices += (2 * static_cast<std::int64_t>(std::max(m_nProfileSegments, 0)) - 1) * frond.m_nNumFrames;
        break;
      default: throw TreeFileError("default reached in CFrondEngine::Compute()");
    }
  }
  if (!buildable) vertices = 0;
  if (vertices > kMaxVertices) throw TreeFileError("frond vertices exceed %d", kMaxVertices);
  if (geometry == nullptr) return;

  geometry->SetNumLods(NumLods());
  if (!buildable) return;
  for (SFrond& frond : m_vFronds) frond.m_nFirstVertex = -1;
  for (const std::int32_t index : first) {
    SFrond& frond = m_vFronds[static_cast<std::size_t>(index)];
    if (frond.m_nNumFrames < 2) continue;
    if (m_nFrondType == 0) {
      BuildBlades(frond);
    } else {
      BuildExtrusion(frond);
    }
  }
  for (std::int32_t l = 0; l < NumLods(); ++l) {
    geometry->ResetStripCounter();
    for (const std::int32_t index : m_vLodFronds[static_cast<std::size_t>(l)]) {
      const SFrond& frond = m_vFronds[static_cast<std::size_t>(index)];
      // Only a frond built with LOD 0 has vertices to make strips of.
      if (frond.m_nFirstVertex < 0) continue;
      if (m_nFrondType == 0) {
        BuildBladeStrips(l, frond);
      } else {
        BuildExtrusionStrips(l, frond);
      }
    }
  }
}

void CFrondEngine::EmitVertex(const SFrond& frond, const stFrondFrame& frame, const stVec3& position, float u,
                              float v, const stVec3& normal, const stVec3& tangent, const stVec3& binormal) {
  CIndexedGeometry& g = *m_pGeometry;
  g.AddVertex(position);
  g.AddTexCoord(0, u, v, frond.m_ucTexture);
  if (StaticLighting()) {
    const stColor4 color = m_pLightingEngine->LightVertex(position, normal, CLightingEngine::kFrond);
    g.AddColor(color.r, color.g, color.b);
  } else {
    g.AddNormal(normal);
    g.AddTangent(tangent);
    g.AddBinormal(binormal);
  }
  if (g.HasWindData()) {
    g.AddWindData1(frame.m_fWindWeight1, frame.m_ucWindMatrix1);
    g.AddWindData2(frame.m_fWindWeight2, frame.m_ucWindMatrix2);
  }
  g.AdvanceVertexCursor();
}

void CFrondEngine::BuildBlades(SFrond& frond) {
  frond.m_nFirstVertex = m_pGeometry->GetVertexCursor();
  frond.m_nPointsPerSection = 2;
  const std::int32_t count = frond.m_nNumFrames;
  const stFrondFrame* frames = frond.Frames();
  const float step = 180.0f / static_cast<float>(m_nNumBlades);
  const float h = frond.m_fHalfWidth;
  TreeVector<stVec3>& directions = g_cScratch.bladeDirections;
  directions.resize(static_cast<std::size_t>(count));
  for (std::int32_t b = 0; b < m_nNumBlades; ++b) {
    const float angle = static_cast<float>(b) * step + frond.m_fStartAngle;
    for (std::int32_t s = 0; s < count; ++s) {
      // 1. The blade direction: (0, 1, 0) through the frame's orientation
      //    turned by the blade angle (the last frame takes its neighbour's).
      stMat3 orientation = frames[s == count - 1 ? s - 1 : s].m_mOrientation;
      orientation.RotateX(angle);
      const stVec3 d = stVec3(0.0f, 1.0f, 0.0f) * orientation;
      directions[static_cast<std::size_t>(s)] = d;
      // 2. The edge offset.
      stVec3 e;
      if (s == 0) {
        e = d * h;
      } else if (s == count - 1) {
        e = directions[static_cast<std::size_t>(s - 1)] * h;
      } else {
        e = Mean(d * h, directions[static_cast<std::size_t>(s - 1)] * h);
      }
      // 3. The frond's axis from its first frame.
      stVec3 axis = frames[s == 0 ? 1 : s].m_vPosition - frames[0].m_vPosition;
      axis.Normalize();
      // 4. Two vertices.
      const stVec3& p = frames[s].m_vPosition;
      const float v = static_cast<float>(s) / static_cast<float>(count - 1);
      const stVec3 binormal = -CrossOr(axis, d, axis);
      EmitVertex(frond, frames[s], p + e, 1.0f, v, axis, d, binormal);
      EmitVertex(frond, frames[s], p - e, 0.0f, v, axis, d, binormal);
    }
  }
}

void CFrondEngine::SetFades(std::int32_t lod, const TreeVector<std::int32_t>& strip) {
  const float fade = LodFade(lod, NumLods());
  for (const std::int32_t vertex : strip) m_pGeometry->SetLodFade(vertex, fade);
}

void CFrondEngine::BuildBladeStrips(std::int32_t lod, const SFrond& frond) {
  const std::int32_t perBlade = 2 * frond.m_nNumFrames;
  TreeVector<std::int32_t>& strip = g_cScratch.strip;
  for (std::int32_t b = 0; b < m_nNumBlades; ++b) {
    strip.clear();
    for (std::int32_t k = 0; k < perBlade; ++k) strip.push_back(frond.m_nFirstVertex + b * perBlade + k);
    m_pGeometry->AddStrip(lod, strip.data(), static_cast<std::int32_t>(strip.size()));
    m_pGeometry->AdvanceStripCounter();
    SetFades(lod, strip);
  }
}

void CFrondEngine::BuildProfile(float halfWidth) {
  const std::int32_t segments = m_nProfileSegments;
  const std::size_t points = static_cast<std::size_t>(2 * segments - 1);
  TreeVector<stVec3>& p = g_cScratch.profilePoints;
  p.resize(points);
  const float offset = m_pProfile->Evaluate(0.0f) * halfWidth;
  for (std::int32_t i = 0; i < segments; ++i) {
    const float t = 1.0f - static_cast<float>(i) / static_cast<float>(segments - 1);
    p[static_cast<std::size_t>(i)] = stVec3(0.0f, -t * halfWidth, m_pProfile->Evaluate(t) * halfWidth - offset);
  }
  // The other half mirrors the first across the centre.
  for (std::int32_t i = segments - 2, at = segments; i >= 0; --i, ++at) {
    const stVec3& q = p[static_cast<std::size_t>(i)];
    p[static_cast<std::size_t>(at)] = stVec3(q.x, -q.y, q.z);
  }

  // Normal angles: an edge's own angle plus pi/2 at the ends, the mean of
  // the two edges' angles plus pi/2 inside.
  TreeVector<stVec3>& normals = g_cScratch.profileNormals;
  TreeVector<stVec3>& tangents = g_cScratch.profileTangents;
  normals.resize(points);
  tangents.resize(points);
  auto edgeAngle = [&p](std::size_t from) {
    const stVec3 e = p[from + 1] - p[from];
    return std::atan2(e.z, e.y);
  };
  for (std::size_t k = 0; k < points; ++k) {
    float angle = 0.0f;
    if (k == 0) {
      angle = edgeAngle(0);
    } else if (k + 1 == points) {
      angle = edgeAngle(k - 1);
    } else {
      angle = (edgeAngle(k - 1) + edgeAngle(k)) * 0.5f;
    }
    const float theta = angle + kHalfPi;
    stVec3 normal(0.0f, std::cos(theta), std::sin(theta));
    normal.Normalize();
    stVec3 tangent(0.0f, -std::cos(theta + kHalfPi), -std::sin(theta + kHalfPi));
    tangent.Normalize();
    normals[k] = normal;
    tangents[k] = tangent;
  }
}

void CFrondEngine::BuildExtrusion(SFrond& frond) {
  BuildProfile(frond.m_fHalfWidth);
  const TreeVector<stVec3>& points = g_cScratch.profilePoints;
  const TreeVector<stVec3>& normals = g_cScratch.profileNormals;
  const TreeVector<stVec3>& tangents = g_cScratch.profileTangents;
  const std::int32_t count = static_cast<std::int32_t>(points.size());
  frond.m_nFirstVertex = m_pGeometry->GetVertexCursor();
  frond.m_nPointsPerSection = count;
  const stFrondFrame* frames = frond.Frames();
  for (std::int32_t s = 0; s < frond.m_nNumFrames; ++s) {
    stMat3 current = frames[s].m_mOrientation;
    stMat3 previous = frames[s == 0 ? 0 : s - 1].m_mOrientation;
    current.RotateX(frond.m_fStartAngle);
    previous.RotateX(frond.m_fStartAngle);
    const float v = static_cast<float>(s) / static_cast<float>(frond.m_nNumFrames - 1);
    for (std::int32_t k = 0; k < count; ++k) {
      const std::size_t i = static_cast<std::size_t>(k);
      const stVec3 position = frames[s].m_vPosition + Mean(points[i] * current, points[i] * previous);
      stVec3 normal = Mean(normals[i] * current, normals[i] * previous);
      normal.Normalize();
      stVec3 tangent = Mean(tangents[i] * current, tangents[i] * previous);
      tangent.Normalize();
      const stVec3 binormal = CrossOr(tangent, normal, normal);
      const float u = static_cast<float>(k) / static_cast<float>(count - 1);
      EmitVertex(frond, frames[s], position, u, v, normal, tangent, binormal);
    }
  }
}

void CFrondEngine::BuildExtrusionStrips(std::int32_t lod, const SFrond& frond) {
  const std::int32_t frames = frond.m_nNumFrames;
  const std::int32_t points = frond.m_nPointsPerSection;
  const std::int32_t lods = NumLods();
  const float f = lods == 1 ? 1.0f : 1.0f - static_cast<float>(lod) / static_cast<float>(lods - 1);
  // 1. Frames and profile points this LOD keeps; at least two of each, so
  //    that the steps below never divide by zero.
  const std::int32_t frameFloor = m_nMinExtraFrames + 1;
  const std::int32_t pointFloor = 2 * m_nMinProfileHalf + 1;
  std::int32_t rows = TruncateToInt(static_cast<float>(frameFloor) + static_cast<float>(frames - frameFloor) * f);
  std::int32_t columns = TruncateToInt(static_cast<float>(pointFloor) + static_cast<float>(points - pointFloor) * f);
  if (m_ucFullResolution != 0) {
    rows = frames;
    columns = points;
  }
  rows = std::max(rows, 2);
  columns = std::max(columns, 2);
  // 2. Steps through the frond's frames and points.
  const float frameStep = static_cast<float>(frames) / static_cast<float>(rows - 1);
  const float pointStep = static_cast<float>(points) / static_cast<float>(columns - 1);
  // 3. Rows of pairs, back and forth, joined by repeating a row's last index.
  TreeVector<std::int32_t>& strip = g_cScratch.strip;
  strip.clear();
  for (std::int32_t i = 0; i + 1 < rows; ++i) {
    const bool lastRow = i + 2 == rows;
    const std::int32_t a = std::min(TruncateToInt(static_cast<float>(i) * frameStep), frames - 1);
    std::int32_t b = TruncateToInt(static_cast<float>(i + 1) * frameStep);
    if (lastRow || b > frames - 1) b = frames - 1;
    for (std::int32_t c = 0; c < columns; ++c) {
      const std::int32_t j = i % 2 == 0 ? c : columns - 1 - c;
      std::int32_t k = j == columns - 1 ? points - 1 : TruncateToInt(static_cast<float>(j) * pointStep);
      k = std::min(k, points - 1);
      strip.push_back(frond.m_nFirstVertex + points * a + k);
      strip.push_back(frond.m_nFirstVertex + points * b + k);
    }
    if (!lastRow) strip.push_back(strip.back());
  }
  // 4. (2Q + 1)(R - 1) - 1 indices.
  m_pGeometry->AddStrip(lod, strip.data(), static_cast<std::int32_t>(strip.size()));
  m_pGeometry->AdvanceStripCounter();
  SetFades(lod, strip);
}

}  // namespace trt
