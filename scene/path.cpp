#include "scene/path.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "objectmodel/class_factory.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

const char16_t* const CPath::kPathTypeNames[2] = {u"PT_Linear", u"PT_Spline"};

// The two f32 values next to the square root of one half both occur, as
// the table was first written.
const CQuaternion CPath::kAlignAxisRotation[kAlignAxisCount] = {
    {0.0f, 0.0f, 0.0f, 1.0f},                   // XAxis
    {0.0f, 0.0f, -0.70710671f, 0.70710677f},    // YAxis
    {0.70710671f, 0.0f, 0.70710677f, 0.0f},     // ZAxis
    {0.0f, 0.0f, 1.0f, 0.0f},                   // NXAxis
    {0.0f, 0.0f, 0.70710671f, 0.70710677f},     // NYAxis
    {0.0f, -0.70710671f, 0.0f, 0.70710677f},    // NZAxis
};

namespace {

CTerrainSampler* g_terrainSampler = nullptr;

constexpr CVector3<float> kDown{0.0f, -1.0f, 0.0f};

// The heading (about Z, from X to the direction flattened onto XY) and the
// pitch (from that heading up or down to d) that together turn X onto the
// unit direction d. A vertical d keeps heading X, so that both rotations
// stay defined.
void HeadingAndPitch(const CVector3<float>& d, CQuaternion& heading, CQuaternion& pitch) {
  CVector3<float> h{d.x, d.y, 0.0f};
  if (!(h.Normalize() > 0.0f)) h = kVectorUnitX;
  heading = QuaternionFromTo(kVectorUnitX, h, kVectorUnitZ);
  const CVector3<float> side = kDown.TransformByMatrix3(heading.ToMatrix3());
  pitch = QuaternionFromTo(h, d, side);
}

}  // namespace

bool IsDegenerateAngle(f32 angle) { return Fabs(angle) < 1e-5f || Fabs(angle - kPi) < 1e-5f; }

CQuaternion QuaternionFromTo(const CVector3<float>& a, const CVector3<float>& b, const CVector3<float>& fallback) {
  const f32 angle = SafeAcos(a.Dot(b));
  CVector3<float> axis = a.Cross(b);
  if (IsDegenerateAngle(angle) || !(axis.Normalize() > 0.0f)) axis = fallback;
  return CQuaternion::FromAxisAngle(axis, angle);
}

// --- construction -----------------------------------------------------------------------

CPath::CPath() {
  // Three independent draws, red first.
  const f32 red = RandomUnit(0.0f);
  const f32 green = RandomUnit(0.0f);
  const f32 blue = RandomUnit(0.0f);
  color_ = CColor(red, green, blue, 1.0f);
}

CPath::CPath(const CPath& other)
    : CSpatial(other),
      ctrlXYZ_(other.ctrlXYZ_),
      ctrlUp_(other.ctrlUp_),
      pathType_(other.pathType_),
      projectToTerrain_(other.projectToTerrain_),
      sampleDensity_(other.sampleDensity_),
      color_(other.color_),
      hasGuidePoints_(other.hasGuidePoints_),
      splineX_(other.splineX_),
      splineY_(other.splineY_),
      splineZ_(other.splineZ_),
      length_(other.length_),
      sampleRatio_(other.sampleRatio_),
      ctrlAtLength_(other.ctrlAtLength_),
      lineNormal_(other.lineNormal_),
      ctrlDir_(other.ctrlDir_),
      lineXYZ_(other.lineXYZ_),
      ctrlLocal_(other.ctrlLocal_),
      ctrlWorldMatrix_(other.ctrlWorldMatrix_),
      lineValid_(true),
      lineBound_(other.lineBound_) {}

CPath::~CPath() = default;

Result CPath::Create(CPointer<CPath>& out) {
  CPath* path = new (std::nothrow) CPath();
  if (path == nullptr) return kErrOutOfMemory;
  out = path;
  return kOk;
}

void CPath::SetTerrainSampler(CTerrainSampler* sampler) { g_terrainSampler = sampler; }

CTerrainSampler* CPath::GetTerrainSampler() { return g_terrainSampler; }

bool CPath::Projecting() const { return projectToTerrain_ && g_terrainSampler != nullptr; }

// --- control points ---------------------------------------------------------------------

bool CPath::UsesGuidePoints() const { return hasGuidePoints_ && ctrlXYZ_.size() >= 4; }

u32 CPath::FirstPathControl() const { return UsesGuidePoints() ? 2 : 0; }

i64 CPath::LastPathControl() const {
  const i64 n = static_cast<i64>(ctrlXYZ_.size());
  return UsesGuidePoints() ? n - 2 : n - 1;
}

void CPath::SizeControlFrames() {
  const std::size_t n = ctrlXYZ_.size();
  const std::size_t count = UsesGuidePoints() ? n - 4 : n;
  ctrlLocal_.resize(count);
  ctrlWorldMatrix_.resize(count);
}

CQuaternion CPath::BankOf(u64 i) const { return i < ctrlUp_.size() ? ctrlUp_[i] : kQuaternionIdentity; }

void CPath::ClearPath() {
  ctrlXYZ_.clear();
  ctrlUp_.clear();
  ctrlLocal_.clear();
  lineXYZ_.clear();
  ctrlWorldMatrix_.clear();
  splineX_.clear();
  splineY_.clear();
  splineZ_.clear();
  length_.clear();
  sampleRatio_.clear();
  ctrlAtLength_.clear();
  lineNormal_.clear();
  SetModified();
}

// --- path constraints -----------------------------------------------------------------------

Result CPath::SampleWorld(f32 t, CVector3<float>& position, CVector3<float>& tangent, CQuaternion& up) const {
  CVector3<float> local;
  Result r = PositionAtParameter(t, local);
  if (Failed(r)) return r;
  const CMatrix4& world = GetWorldMatrix();
  position = TransformCoord(local, world);
  r = UpAtParameter(t, up);
  if (Failed(r)) return r;
  CVector3<float> before;
  CVector3<float> after;
  r = PositionAtParameter(std::max(t - kDirectionSpan, 0.0f), before);
  if (Succeeded(r)) r = PositionAtParameter(std::min(t + kDirectionSpan, 1.0f), after);
  if (Failed(r)) return r;
  tangent = TransformCoord(after, world) - TransformCoord(before, world);
  tangent.Normalize();
  return kOk;
}

Result CPath::OrientAlongDirection(const CVector3<float>& direction, const CQuaternion& extra, u32 align,
                                   bool useExtra, CQuaternion& out) const {
  if (align >= kAlignAxisCount) return kErrOutOfRange;
  const CMatrix3& rotate = GetWorldRotate();
  // Into path space: the inverse of a rotation is its transpose.
  const CVector3<float> d = direction.TransformByMatrix3(rotate.Transpose());
  CQuaternion heading;
  CQuaternion pitch;
  HeadingAndPitch(d, heading, pitch);
  CQuaternion result = CQuaternion::FromMatrix3(rotate) * pitch * heading;
  if (useExtra) result = result * extra;
  out = result * kAlignAxisRotation[align];
  return kOk;
}

Result CPath::OrientAlongHeading(const CVector3<float>& direction, const CQuaternion& extra, u32 align,
                                 bool useExtra, CQuaternion& out) {
  if (align >= kAlignAxisCount) return kErrOutOfRange;
  CVector3<float> h{direction.x, direction.y, 0.0f};
  if (!(h.Normalize() > 0.0f)) h = kVectorUnitX;
  CQuaternion result = QuaternionFromTo(kVectorUnitX, h, kVectorUnitZ);
  if (useExtra) result = result * extra;
  out = result * kAlignAxisRotation[align];
  return kOk;
}

// --- spatial protocol ---------------------------------------------------------------------------

Result CPath::CollectSpatials(std::vector<CSpatial*>& spatials) {
  spatials.push_back(this);
  return kOk;
}

Result CPath::UpdateWorldBound() {
  CBound world;
  lineBound_.Transform(world, GetWorldMatrix());
  SetWorldBound(world);
  return kOk;
}

Result CPath::GetBound(CBound& bound) {
  if (!IsActive()) return kDone;
  if (lineXYZ_.empty()) {
    bound = CBound();
    return kDone;
  }
  std::vector<CVector3<float>> world;
  world.reserve(lineXYZ_.size());
  for (const CVector3<float>& p : lineXYZ_) world.push_back(TransformCoord(p, GetWorldMatrix()));
  bound.FromPoints(world);
  return kOk;
}

Result CPath::CollectAnimated(std::vector<CDorun*>& animated) {
  const Result r = CSpatial::CollectAnimated(animated);
  if (Failed(r)) return r;
  if (std::find(animated.begin(), animated.end(), this) == animated.end()) animated.push_back(this);
  return r;
}

Result CPath::Update(i32 time) {
  const Result r = CDorun::Update(time);
  if (Failed(r)) return r;
  const CMatrix4& world = GetWorldMatrix();
  for (std::size_t i = 0; i < ctrlLocal_.size() && i < ctrlWorldMatrix_.size(); ++i) {
    const CVector3<float> w = TransformCoord(ctrlLocal_[i], world);
    CQuaternion bank = kQuaternionIdentity;
    if (!projectToTerrain_) {
      bank = BankOf(i);
    } else if (i < ctrlAtLength_.size() && ctrlAtLength_[i] < lineNormal_.size()) {
      bank = lineNormal_[ctrlAtLength_[i]];
    }
    const CVector3<float> localDir = i < ctrlDir_.size() ? ctrlDir_[i] : kVectorZero;
    CVector3<float> direction = TransformCoord(ctrlLocal_[i] + localDir, world) - w;
    direction.Normalize();
    CQuaternion o;
    OrientAlongDirection(direction, bank, 0, true, o);
    CMatrix4 frame;
    frame.SetRotation3x3(o.ToMatrix3());
    frame.SetTranslation(w);
    ctrlWorldMatrix_[i] = frame;
  }
  return kOk;
}

// --- object-model protocol ------------------------------------------------------------------------

u32 CPath::GetMemorySize() const {
  const std::size_t bytes = 12 * ctrlXYZ_.size() + 16 * ctrlUp_.size() +
                            28 * (splineX_.size() + splineY_.size() + splineZ_.size()) + 4 * length_.size() +
                            4 * sampleRatio_.size() + 4 * ctrlAtLength_.size() + 16 * lineNormal_.size() +
                            12 * ctrlDir_.size() + 12 * lineXYZ_.size() + 12 * ctrlLocal_.size() +
                            64 * ctrlWorldMatrix_.size();
  return CSpatial::GetMemorySize() + 384 + static_cast<u32>(bytes);
}

u32 CPath::GetSaveSize() const {
  return CSpatial::GetSaveSize() + 38 + 12 * static_cast<u32>(ctrlXYZ_.size()) +
         16 * static_cast<u32>(ctrlUp_.size());
}

Result CPath::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CPath::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  if (target == nullptr) return kErrInvalidArg;
  CPath* other = DynamicCast<CPath>(target);
  // Refused before the spatial part is copied, so that a refusal changes
  // nothing.
  if (other == nullptr) return kErrNotFound;
  const Result r = CSpatial::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  if (other == this) {
    other->lineValid_ = true;
    return kOk;
  }
  other->ctrlXYZ_ = ctrlXYZ_;
  other->ctrlUp_ = ctrlUp_;
  other->pathType_ = pathType_;
  other->projectToTerrain_ = projectToTerrain_;
  other->sampleDensity_ = sampleDensity_;
  other->color_ = color_;
  other->hasGuidePoints_ = hasGuidePoints_;
  other->splineX_ = splineX_;
  other->splineY_ = splineY_;
  other->splineZ_ = splineZ_;
  other->length_ = length_;
  other->sampleRatio_ = sampleRatio_;
  other->ctrlAtLength_ = ctrlAtLength_;
  other->lineNormal_ = lineNormal_;
  other->ctrlDir_ = ctrlDir_;
  other->lineXYZ_ = lineXYZ_;
  other->ctrlLocal_ = ctrlLocal_;
  other->ctrlWorldMatrix_ = ctrlWorldMatrix_;
  other->lineBound_ = lineBound_;
  other->lineValid_ = true;
  other->SetModified();
  return kOk;
}

void CPath::ConvertOldBanks() {
  // Old entries were whole orientations in path space; a bank is what is
  // left about X once the heading and pitch of the control's direction are
  // taken out. Only controls with a direction can be converted; the others
  // keep their value.
  const std::size_t count = std::min(ctrlUp_.size(), ctrlDir_.size());
  for (std::size_t i = 0; i < count; ++i) {
    CQuaternion heading;
    CQuaternion pitch;
    HeadingAndPitch(ctrlDir_[i], heading, pitch);
    const CQuaternion q = pitch * heading;
    const CQuaternion rest = q.Conjugate() * ctrlUp_[i];
    CVector3<float> up = kVectorUnitZ.TransformByMatrix3(rest.ToMatrix3());
    up.x = 0.0f;
    up.Normalize();
    ctrlUp_[i] = QuaternionFromTo(kVectorUnitZ, up, kVectorUnitX);
  }
}

Result CPath::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CSpatial::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 v = stream.GetStoredVersion(StaticClassRecord());
  ctrlXYZ_.clear();
  ctrlUp_.clear();
  r = ReadPodVector(stream, ctrlXYZ_);
  if (Succeeded(r)) r = ReadPodVector(stream, ctrlUp_);
  if (Failed(r)) return r;
  if (v < static_cast<i32>(kVersionBankRotations)) {
    // Stored as (w, x, y, z).
    for (CQuaternion& q : ctrlUp_) q = CQuaternion(q.y, q.z, q.w, q.x);
  }
  r = ReadU32(stream, pathType_);
  if (Succeeded(r)) r = ReadBool(stream, projectToTerrain_);
  if (Succeeded(r)) r = ReadU32(stream, sampleDensity_);
  if (Failed(r)) return r;
  if (v < static_cast<i32>(kVersionColor)) {
    const f32 red = RandomUnit(0.0f);
    const f32 green = RandomUnit(0.0f);
    const f32 blue = RandomUnit(0.0f);
    color_ = CColor(red, green, blue, 1.0f);
  } else {
    f32 rgb[3] = {};
    r = ReadFloats(stream, rgb, 3);
    if (Failed(r)) return r;
    color_ = CColor(rgb[0], rgb[1], rgb[2], 1.0f);
  }
  hasGuidePoints_ = false;
  if (v >= static_cast<i32>(kVersionGuidePoints)) {
    r = ReadBool(stream, hasGuidePoints_);
    if (Failed(r)) return r;
  }
  SizeControlFrames();
  // The line is built without terrain: the terrain may not be there yet
  // when the file loads.
  const bool project = projectToTerrain_;
  projectToTerrain_ = false;
  Rebuild(-1);
  if (v < static_cast<i32>(kVersionBankRotations)) ConvertOldBanks();
  projectToTerrain_ = project;
  SetModified(false);
  return kOk;
}

Result CPath::Save(CStream& stream, u32 flags) {
  Result r = CSpatial::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WritePodVector(stream, ctrlXYZ_);
  if (Succeeded(r)) r = WritePodVector(stream, ctrlUp_);
  if (Succeeded(r)) r = WriteU32(stream, pathType_);
  if (Succeeded(r)) r = WriteBool(stream, projectToTerrain_);
  if (Succeeded(r)) r = WriteFloat(stream, sampleDensity_);
  const f32 rgb[3] = {color_.r, color_.g, color_.b};
  if (Succeeded(r)) r = WriteFloats(stream, rgb, 3);
  if (Succeeded(r)) r = WriteBool(stream, hasGuidePoints_);
  return r;
}

namespace {

void QuaternionArray(CMemberVisitor& visitor, const char16_t* name, const std::vector<CQuaternion>& values) {
  visitor.RecordArray(name, static_cast<u32>(values.size()),
                      [&values](u32 i, CMemberVisitor& v) { v.FloatArray(u"Rotation", &values[i].x, 4); });
}

}  // namespace

void CPath::DescribeMembers(CMemberVisitor& visitor) {
  i32 pathType = static_cast<i32>(pathType_);
  visitor.BeginGroup(u"CPath Member");
  visitor.OpenGroup();
  visitor.VectorList(u"CtrlXYZ", &ctrlXYZ_);
  QuaternionArray(visitor, u"CtrlUp", ctrlUp_);
  visitor.Bool(u"ProjectToTerrain", &projectToTerrain_);
  visitor.Float(u"SampleDensity", &sampleDensity_);
  visitor.Color(u"Color", &color_);
  visitor.Enum(u"PathType", &pathType, kPathTypeNames, 2);
  visitor.EndGroup();
  visitor.BeginGroup(u"CPath RealTime Member");
  visitor.OpenGroup();
  visitor.FloatArray(u"Length", length_.data(), static_cast<u32>(length_.size()));
  visitor.FloatArray(u"SampleRatio", sampleRatio_.data(), static_cast<u32>(sampleRatio_.size()));
  visitor.UIntArray(u"CtrlAtLength", ctrlAtLength_.data(), static_cast<u32>(ctrlAtLength_.size()));
  QuaternionArray(visitor, u"LineNormal", lineNormal_);
  visitor.VectorList(u"CtrlDir", &ctrlDir_);
  visitor.VectorList(u"LineXYZ", &lineXYZ_);
  visitor.VectorList(u"CtrlLocal", &ctrlLocal_);
  visitor.MatrixList(u"CtrlWorldMatrix", &ctrlWorldMatrix_);
  visitor.EndGroup();
  CSpatial::DescribeMembers(visitor);
}

}  // namespace KT
