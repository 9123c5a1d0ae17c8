// KT::CRTSControl: base of every transform controller.
//
// A transform controller computes, at a time, the local transform of the
// spatial it is bound to (Local) and the three world quantities that follow
// from it and from the spatial's parent (WorldScale, WorldRotate,
// WorldMatrix), plus a sticky (foot-lock) range, and then writes all of them
// into the spatial in ApplyTransform. The per-frame driver calls
// UpdateTransform and then ApplyTransform on each transform controller of a
// spatial's chain, parents before children.
//
// When a controller has nothing of its own to evaluate (no keys, no clips)
// its SlaveMode says where the transform comes from instead:
//   SM_DEFAULT_BASIS   the spatial's Basis, composed with the parent;
//   SM_IDENTITY_LOCAL  the identity, composed with the parent;
//   SM_CURRENT_WORLD   the spatial's Local and world matrices as they stand.
//
// The bound object is a plain CDorun pointer, and a file can bind any
// object by id: every operation that reads or writes the bound object as a
// spatial checks its class first and refuses (kErrNotFound, nothing
// written) when it is not one.
//
// Record, after the CControl part: version pair 2.02, SlaveMode (u32).
// Local, the world matrices and Sticky are not stored: the first update
// recomputes them. Older parts: 2.01 stores SlaveMode as one byte (non-zero
// meaning SM_IDENTITY_LOCAL), earlier ones not at all.
#pragma once

#include "controllers/core/control.h"
#include "objectmodel/matrix3.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/time_helpers.h"
#include "objectmodel/vector.h"
#include "scene/rts_transform.h"

namespace KT {

class CSpatial;

// --- composition with a parent ----------------------------------------------------
//
// The inheritance flags are the spatial's Inherited field. A set bit switches
// inheritance off, and any bit of a group switches off the whole group.
inline constexpr u32 kInheritTranslationBits = 0x007;
inline constexpr u32 kInheritRotationBits = 0x038;
inline constexpr u32 kInheritScaleBits = 0x1C0;

// The scale-and-stretch matrix of a transform: U^T x diag(Sign x Scale) x U,
// U the rotation matrix of the stretch quaternion.
CMatrix3 GetScaleMatrix(const CRtsTransform& transform);

// Composes a child's world quantities (S, R, M, computed from its local
// transform) with its parent's (PS, PR, PM) under the inheritance flags:
//   PM exactly the identity: nothing changes;
//   flags 0: S = S x PS, R = R x PR, M = M x PM;
//   otherwise P = PM without its translation row when translation is off;
//     the child's translation is carried through P (with the homogeneous
//     divide); P's 3x3 becomes the identity (rotation and scale off), PS
//     (rotation off; S = S x PS), PR (scale off; R = R x PR) or stays
//     (only translation off; S = S x PS, R = R x PR); M = M x P with the
//     carried translation.
void ComposeWithParent(CMatrix3& worldScale, CMatrix3& worldRotate, CMatrix4& worldMatrix,
                       const CMatrix3& parentScale, const CMatrix3& parentRotate, const CMatrix4& parentMatrix,
                       u32 inherited);
// The same with the parent spatial's WorldScale, WorldRotate and
// WorldMatrix; a null parent changes nothing.
void ComposeWithParent(CMatrix3& worldScale, CMatrix3& worldRotate, CMatrix4& worldMatrix, const CSpatial* parent,
                       u32 inherited);
// ComposeWithParent for a matrix alone.
void ComposeMatrixWithParent(CMatrix4& matrix, const CSpatial* parent, u32 inherited);

// The inverse for a world matrix: expresses it relative to the parent under
// the same flags (a null or identity parent changes nothing). With flags 0
// M = M x inverse(PM); otherwise P as above, the translation carried
// through inverse(P) before P's 3x3 is replaced, then M = M x inverse(P)
// with the carried translation. A singular parent matrix inverts to the
// identity.
void RemoveParent(CMatrix4& worldMatrix, const CMatrix3& parentScale, const CMatrix3& parentRotate,
                  const CMatrix4& parentMatrix, u32 inherited);
void RemoveParent(CMatrix4& worldMatrix, const CSpatial* parent, u32 inherited);

// A point transformed by the inverse of the parent's world matrix (its
// translation dropped when translation is not inherited). A null parent or
// an identity parent matrix leaves the point unchanged.
CVector3<float> ToParentSpace(const CVector3<float>& point, const CSpatial* parent, u32 inherited);
// The matrix ToParentSpace transforms by, for callers that take many points
// into one parent's space: false (and `inverse` untouched) when the point
// stays unchanged (a null parent or an identity parent matrix).
bool GetParentSpaceMatrix(const CSpatial* parent, u32 inherited, CMatrix4& inverse);

// The spatial's current Local placed at `worldMatrix`: the matrix is
// expressed in the space of the spatial's parent under its Inherited flags
// (RemoveParent), and Local's translation and rotation become that
// matrix's translation row and the rotation Decompose finds in it (rows
// divided by their length, all negated for a mirroring matrix). Sign, Scale
// and Stretch stay the spatial's. For constraints that compute a world
// placement and hand the object a Local that leads back to it.
CRtsTransform LocalPlacedAt(const CSpatial& spatial, const CMatrix4& worldMatrix);

// Exact equality of all sixteen elements.
bool MatrixEquals(const CMatrix4& a, const CMatrix4& b);

// --- the controller ----------------------------------------------------------------

class CRTSControl : public CControl {
  KT_DECLARE_CLASS(CRTSControl)

 public:
  enum SlaveModeType : u32 { SM_DEFAULT_BASIS = 0, SM_IDENTITY_LOCAL = 1, SM_CURRENT_WORLD = 2 };
  static const char16_t* const kSlaveModeNames[3];

  // Version gates of the record.
  static constexpr u32 kVersionSlaveModeByte = 201;  // SlaveMode stored as one byte
  static constexpr u32 kVersionSlaveModeWord = 202;  // SlaveMode stored as u32

  CRTSControl() = default;
  // Copies every field, Sticky included (and the CControl settings).
  CRTSControl(const CRTSControl& other);
  ~CRTSControl() override;

  // --- evaluated state -------------------------------------------------------------
  const CRtsTransform& GetLocal() const { return local_; }
  const CMatrix3& GetWorldScale() const { return worldScale_; }
  const CMatrix3& GetWorldRotate() const { return worldRotate_; }
  const CMatrix4& GetWorldMatrix() const { return worldMatrix_; }
  bool IsStickyEnabled() const { return stickyEnable_; }
  i32 GetStickyStart() const { return stickyStart_; }
  i32 GetStickyEnd() const { return stickyEnd_; }

  u32 GetSlaveMode() const { return slaveMode_; }
  void SetSlaveMode(u32 mode) {
    slaveMode_ = mode;
    SetModified();
  }

  // The bound object as a spatial: null when unbound or bound to another
  // kind of object.
  CSpatial* GetSpatial() const;

  // --- transform-controller protocol --------------------------------------------------
  // True for simulation controllers, which keep state between frames.
  virtual bool IsSimulated() const { return false; }
  // Sets Local and the world quantities from the bound spatial according to
  // SlaveMode: kOk. An unknown SlaveMode changes nothing (kDone). Unbound:
  // kErrInvalidArg; bound to an object that is not a spatial: kErrNotFound;
  // either way nothing changes.
  virtual Result InitFromSlaveMode();

  // Writes Local, the world matrices and the sticky range into the bound
  // spatial: kOk. Inactive: kDone. Unbound: kErrInvalidArg; bound to an
  // object that is not a spatial: kErrNotFound; nothing written then.
  Result ApplyTransform() override;
  // Transform controllers do nothing in the data pass.
  Result Update(i32 /*time*/) override { return kDone; }
  Result Apply() override { return kDone; }

  // --- root protocol ----------------------------------------------------------------------
  // Copies the CControl part, Local, the world matrices and SlaveMode (not
  // Sticky) into a transform controller (else kErrNotFound, nothing changed).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 protected:
  // Sets Local, derives WorldScale, WorldRotate and WorldMatrix from it and
  // composes them with `spatial`'s parent under its Inherited flags: the
  // common ending of every transform evaluation.
  void SetLocalAndCompose(const CRtsTransform& local, const CSpatial& spatial);
  // Takes Local and the three world quantities as they are, for
  // controllers that hand on a transform evaluated elsewhere (a child
  // controller's, or the spatial's own).
  void SetTransform(const CRtsTransform& local, const CMatrix3& worldScale, const CMatrix3& worldRotate,
                    const CMatrix4& worldMatrix) {
    local_ = local;
    worldScale_ = worldScale;
    worldRotate_ = worldRotate;
    worldMatrix_ = worldMatrix;
  }
  void SetStickyRange(bool enable, i32 start, i32 end) {
    stickyEnable_ = enable;
    stickyStart_ = start;
    stickyEnd_ = end;
  }
  // The bound spatial, checked: kErrInvalidArg when unbound, kErrNotFound
  // when the bound object is not a spatial.
  Result GetBoundSpatial(CSpatial*& spatial) const;

 private:
  u32 slaveMode_ = SM_DEFAULT_BASIS;
  CRtsTransform local_ = kIdentityTransform;
  CMatrix3 worldScale_;
  CMatrix3 worldRotate_;
  CMatrix4 worldMatrix_;
  bool stickyEnable_ = false;
  // An empty range: Start after End.
  i32 stickyStart_ = kMaxKeyTime;
  i32 stickyEnd_ = kMinKeyTime;
};

}  // namespace KT
