// Stand-in for the seven matrix and quaternion functions of the Direct3D 9
// extension library that the object model delegates to.
//
// Conventions: points are row vectors (p' = p x M; in A x B, A applies
// first); a 4x4 matrix is sixteen floats, row-major, with the translation in
// row 3; a quaternion is (x, y, z, w) with identity (0, 0, 0, 1), and the
// rotation matrix of a unit quaternion has m01 = 2(xy + wz).
//
// Every function takes its output first and returns it (or null when it
// fails), in the manner of the library it replaces. Outputs may alias inputs.
#pragma once

struct D3DXMATRIX {
  float m[4][4];
};

struct D3DXVECTOR3 {
  float x, y, z;
};

struct D3DXQUATERNION {
  float x, y, z, w;
};

// out = a x b.
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b);

// out = inverse of m; *determinant (when given) receives the determinant.
// A singular matrix (determinant exactly 0, or not finite) writes the
// identity to out and returns null.
D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m);

// (v, 1) x m, divided by the resulting w. When that w is 0 the result is the
// zero vector rather than an infinity.
D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);

// Quaternion of the rotation held in the upper 3x3 of m. One fixed rule:
// from the trace when it is > 0, else from the largest diagonal element
// (the first of equal ones). A matrix that is not a rotation gives some
// finite quaternion, never NaN for finite input.
D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m);

// Spherical interpolation along the shorter arc: t = 0 gives q1, t = 1 gives
// q2 (or -q2, the same rotation, when q1 . q2 < 0). When 1 - |q1 . q2| <=
// 0.001 the blend is linear. t outside [0, 1] extrapolates.
D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2,
                                    float t);

// Rotation by angle (radians) about axis. The axis is normalised first; a
// zero axis gives (0, 0, 0, cos(angle / 2)).
D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis, float angle);

// Axis and angle of q: angle = 2 acos(w) (w clamped to [-1, 1]), axis = the
// vector part scaled to unit length, or (0, 0, 0) when the vector part is 0
// (no rotation). Either output may be null.
void D3DXQuaternionToAxisAngle(const D3DXQUATERNION* q, D3DXVECTOR3* axis, float* angle);
