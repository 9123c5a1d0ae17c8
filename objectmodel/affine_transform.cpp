#include "objectmodel/affine_transform.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace KT {

namespace {

// Convergence tolerance of the polar iteration, relative to the norm.
constexpr f64 kPolarTolerance = 1e-6;
// Elements of Q and S below this (the float epsilon) are rounding noise.
constexpr f32 kCleanThreshold = 1.1920929e-7f;
constexpr int kMaxJacobiSweeps = 20;
constexpr f64 kSqrtHalf = 0.7071067811865476;

// --- rank fallbacks -------------------------------------------------------
// They work in double precision; the Householder reflector u of a
// vector has |u|^2 = 2, so I - u u^T is a reflection.

using Mat = f64[3][3];

void CopyIn(const CMatrix3& from, Mat to) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) to[i][j] = from.m[i][j];
}

CMatrix3 CopyOut(const Mat from) {
  CMatrix3 r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m[i][j] = static_cast<f32>(from[i][j]);
  return r;
}

int find_max_col(const Mat m) {
  f64 best = 0.0;
  int column = -1;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      const f64 a = std::fabs(m[i][j]);
      if (a > best) {
        best = a;
        column = j;
      }
    }
  }
  return column;
}

// The reflector that maps v onto the third axis (up to sign).
void make_reflector(const f64 v[3], f64 u[3]) {
  const f64 length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  u[0] = v[0];
  u[1] = v[1];
  u[2] = v[2] + (v[2] < 0.0 ? -length : length);
  const f64 s = std::sqrt(2.0 / (u[0] * u[0] + u[1] * u[1] + u[2] * u[2]));
  for (int i = 0; i < 3; ++i) u[i] *= s;
}

// m = (I - u u^T) x m: reflects every column.
void reflect_cols(Mat m, const f64 u[3]) {
  for (int i = 0; i < 3; ++i) {
    const f64 s = u[0] * m[0][i] + u[1] * m[1][i] + u[2] * m[2][i];
    for (int j = 0; j < 3; ++j) m[j][i] -= u[j] * s;
  }
}

// m = m x (I - u u^T): reflects every row.
void reflect_rows(Mat m, const f64 u[3]) {
  for (int i = 0; i < 3; ++i) {
    const f64 s = u[0] * m[i][0] + u[1] * m[i][1] + u[2] * m[i][2];
    for (int j = 0; j < 3; ++j) m[i][j] -= u[j] * s;
  }
}

void SetIdentity(Mat q) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) q[i][j] = i == j ? 1.0 : 0.0;
}

void Copy(const Mat from, Mat to) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) to[i][j] = from[i][j];
}

// Orthogonal factor q of a matrix of rank 1 or 0.
void do_rank1(const Mat input, Mat q) {
  Mat m;
  Copy(input, m);
  SetIdentity(q);
  const int col = find_max_col(m);
  if (col < 0) return;  // rank 0
  f64 v1[3] = {m[0][col], m[1][col], m[2][col]};
  make_reflector(v1, v1);
  reflect_cols(m, v1);
  f64 v2[3] = {m[2][0], m[2][1], m[2][2]};
  make_reflector(v2, v2);
  reflect_rows(m, v2);
  // Only m[2][2] is left. Its sign decides the third axis; the published
  // routine stops there and may return a mirror, which no quaternion can
  // hold. Axes 0 and 1 are collapsed, so flipping one of them as well keeps
  // the factor a proper rotation without changing S = A x Q^T.
  if (m[2][2] < 0.0) {
    q[2][2] = -1.0;
    q[0][0] = -1.0;
  }
  reflect_cols(q, v1);
  reflect_rows(q, v2);
}

// Orthogonal factor q of a matrix of rank 2 (or less), from the matrix and
// its cofactor matrix.
void do_rank2(const Mat input, const Mat c, Mat q) {
  Mat m;
  Copy(input, m);
  const int col = find_max_col(c);
  if (col < 0) {  // rank < 2
    do_rank1(input, q);
    return;
  }
  f64 v1[3] = {c[0][col], c[1][col], c[2][col]};
  make_reflector(v1, v1);
  reflect_cols(m, v1);
  f64 v2[3] = {m[0][1] * m[1][2] - m[0][2] * m[1][1], m[0][2] * m[1][0] - m[0][0] * m[1][2],
               m[0][0] * m[1][1] - m[0][1] * m[1][0]};
  make_reflector(v2, v2);
  reflect_rows(m, v2);
  // The reflected matrix lives in its upper 2x2 block; take the closest
  // 2-D rotation or reflection of it.
  const f64 w = m[0][0], x = m[0][1], y = m[1][0], z = m[1][1];
  SetIdentity(q);
  if (w * z > x * y) {
    f64 cs = z + w, sn = y - x;
    const f64 d = std::sqrt(cs * cs + sn * sn);
    cs /= d;
    sn /= d;
    q[0][0] = q[1][1] = cs;
    q[1][0] = sn;
    q[0][1] = -sn;
  } else {
    f64 cs = z - w, sn = y + x;
    const f64 d = std::sqrt(cs * cs + sn * sn);
    cs /= d;
    sn /= d;
    q[1][1] = cs;
    q[0][0] = -cs;
    q[0][1] = q[1][0] = sn;
    // A 2-D reflection: the published routine keeps q[2][2] = 1 and
    // returns a mirror. The third axis is the collapsed one, so turning it
    // too gives a proper rotation with the same S = A x Q^T.
    q[2][2] = -1.0;
  }
  reflect_cols(q, v1);
  reflect_rows(q, v2);
}

// --- double-precision helpers of the polar iteration -------------------------

void Cofactors(const Mat m, Mat c) {
  c[0][0] = m[1][1] * m[2][2] - m[1][2] * m[2][1];
  c[0][1] = m[1][2] * m[2][0] - m[1][0] * m[2][2];
  c[0][2] = m[1][0] * m[2][1] - m[1][1] * m[2][0];
  c[1][0] = m[0][2] * m[2][1] - m[0][1] * m[2][2];
  c[1][1] = m[0][0] * m[2][2] - m[0][2] * m[2][0];
  c[1][2] = m[0][1] * m[2][0] - m[0][0] * m[2][1];
  c[2][0] = m[0][1] * m[1][2] - m[0][2] * m[1][1];
  c[2][1] = m[0][2] * m[1][0] - m[0][0] * m[1][2];
  c[2][2] = m[0][0] * m[1][1] - m[0][1] * m[1][0];
}

f64 NormOne(const Mat m) {
  f64 best = 0.0;
  for (int j = 0; j < 3; ++j) best = std::max(best, std::fabs(m[0][j]) + std::fabs(m[1][j]) + std::fabs(m[2][j]));
  return best;
}

f64 NormInf(const Mat m) {
  f64 best = 0.0;
  for (int i = 0; i < 3; ++i) best = std::max(best, std::fabs(m[i][0]) + std::fabs(m[i][1]) + std::fabs(m[i][2]));
  return best;
}

CMatrix3 Clean(CMatrix3 m) {
  for (auto& row : m.m)
    for (f32& e : row)
      if (std::fabs(e) < kCleanThreshold) e = 0.0f;
  return m;
}

// --- snuggle helpers --------------------------------------------------------

void Swap(f32 a[3], int i, int j) { std::swap(a[i], a[j]); }

// left: (a0, a1, a2) -> (a1, a2, a0); otherwise (a0, a1, a2) -> (a2, a0, a1).
void Cycle(f32 a[3], bool left) {
  if (left) {
    const f32 t = a[0];
    a[0] = a[1];
    a[1] = a[2];
    a[2] = t;
  } else {
    const f32 t = a[2];
    a[2] = a[1];
    a[1] = a[0];
    a[0] = t;
  }
}

}  // namespace

f32 polar_decomp(const CMatrix3& a, CMatrix3& q, CMatrix3& s, u32* iterations) {
  // The iteration runs in double precision: for a nearly singular float
  // matrix the cofactors are differences of nearly equal products, and in
  // single precision they would be rounding noise that steers the iterate
  // away from the polar factor.
  Mat mk, c, previous;
  CopyIn(a, mk);
  f64 m1 = NormOne(mk);
  f64 mi = NormInf(mk);
  f64 det = 0.0;
  u32 steps = 0;
  // Each step averages Mk with its inverse transpose (cofactors / det),
  // scaled by gamma to speed convergence; it converges quadratically. The
  // cap only matters for input that never settles (non-finite or extreme
  // values), which must not hang the caller.
  while (steps < kPolarMaxIterations) {
    ++steps;
    Cofactors(mk, c);
    det = mk[0][0] * c[0][0] + mk[0][1] * c[0][1] + mk[0][2] * c[0][2];
    if (det == 0.0) {
      Copy(mk, previous);
      do_rank2(previous, c, mk);
      break;
    }
    const f64 c1 = NormOne(c), ci = NormInf(c);
    const f64 gamma = std::sqrt(std::sqrt((c1 * ci) / (m1 * mi)) / std::fabs(det));
    const f64 g1 = gamma * 0.5;
    const f64 g2 = 0.5 / (gamma * det);
    Copy(mk, previous);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        mk[i][j] = g1 * mk[i][j] + g2 * c[i][j];
        previous[i][j] -= mk[i][j];
      }
    const f64 e1 = NormOne(previous);
    m1 = NormOne(mk);
    mi = NormInf(mk);
    if (!(e1 > m1 * kPolarTolerance)) break;
  }
  if (iterations != nullptr) *iterations = steps;

  // S = A x Q^T, made exactly symmetric.
  Mat aa, ss;
  CopyIn(a, aa);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) ss[i][j] = aa[i][0] * mk[j][0] + aa[i][1] * mk[j][1] + aa[i][2] * mk[j][2];
  for (int i = 0; i < 3; ++i) {
    for (int j = i + 1; j < 3; ++j) {
      const f64 mean = 0.5 * (ss[i][j] + ss[j][i]);
      ss[i][j] = ss[j][i] = mean;
    }
  }
  q = Clean(CopyOut(mk));
  s = Clean(CopyOut(ss));
  // Callers act on the sign; keep it even where the value underflows a float.
  const f32 narrowed = static_cast<f32>(det);
  if (narrowed == 0.0f && det != 0.0) {
    return det < 0.0 ? -std::numeric_limits<f32>::denorm_min() : std::numeric_limits<f32>::denorm_min();
  }
  return narrowed;
}

CVector3<float> spect_decomp(const CMatrix3& s, CMatrix3& u) {
  // Cyclic Jacobi rotations. diag[i] = S[i][i]; offd[i] is the
  // off-diagonal element that does not involve index i.
  f64 uu[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  f64 diag[3] = {s.m[0][0], s.m[1][1], s.m[2][2]};
  f64 offd[3] = {s.m[1][2], s.m[2][0], s.m[0][1]};
  static constexpr int kNext[3] = {1, 2, 0};
  for (int sweep = kMaxJacobiSweeps; sweep > 0; --sweep) {
    const f64 sum = std::fabs(offd[0]) + std::fabs(offd[1]) + std::fabs(offd[2]);
    if (sum == 0.0) break;
    for (int i = 2; i >= 0; --i) {
      const int p = kNext[i];
      const int qi = kNext[p];
      const f64 absOffd = std::fabs(offd[i]);
      const f64 g = 100.0 * absOffd;
      if (absOffd > 0.0) {
        const f64 h = diag[qi] - diag[p];
        const f64 absH = std::fabs(h);
        f64 t;
        if (absH + g == absH) {
          t = offd[i] / h;
        } else {
          const f64 theta = 0.5 * h / offd[i];
          t = 1.0 / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
          if (theta < 0.0) t = -t;
        }
        const f64 c = 1.0 / std::sqrt(t * t + 1.0);
        const f64 sn = t * c;
        const f64 tau = sn / (c + 1.0);
        const f64 ta = t * offd[i];
        offd[i] = 0.0;
        diag[p] -= ta;
        diag[qi] += ta;
        const f64 offdq = offd[qi];
        offd[qi] -= sn * (offd[p] + tau * offd[qi]);
        offd[p] += sn * (offdq - tau * offd[p]);
        // Rows p and q of U (eigenvectors as rows, S = U^T diag(k) U).
        for (int j = 2; j >= 0; --j) {
          const f64 pa = uu[p][j], pb = uu[qi][j];
          uu[p][j] -= sn * (pb + tau * pa);
          uu[qi][j] += sn * (pa - tau * pb);
        }
      }
    }
  }
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) u.m[i][j] = static_cast<f32>(uu[i][j]);
  return {static_cast<f32>(diag[0]), static_cast<f32>(diag[1]), static_cast<f32>(diag[2])};
}

CQuaternion snuggle(const CQuaternion& input, CVector3<float>& k) {
  constexpr f32 kHalf = static_cast<f32>(kSqrtHalf);
  CQuaternion q = input;
  CQuaternion p;
  f32 ka[3] = {k.x, k.y, k.z};
  // turn: the axis whose scale differs when two scales are equal (3 when
  // all three are), else -1.
  int turn = -1;
  if (ka[0] == ka[1]) {
    turn = ka[0] == ka[2] ? 3 : 2;
  } else if (ka[0] == ka[2]) {
    turn = 1;
  } else if (ka[1] == ka[2]) {
    turn = 0;
  }

  if (turn >= 0) {
    // Two equal scales: any rotation about the odd axis is equivalent, so
    // bring that axis to z and pick the twist closest to the identity.
    CQuaternion qtoz;
    switch (turn) {
      case 0:
        qtoz = {0.0f, kHalf, 0.0f, kHalf};
        q *= qtoz;
        Swap(ka, 0, 2);
        break;
      case 1:
        qtoz = {kHalf, 0.0f, 0.0f, kHalf};
        q *= qtoz;
        Swap(ka, 1, 2);
        break;
      case 2: qtoz = {0.0f, 0.0f, 0.0f, 1.0f}; break;
      default: return q.Conjugate();  // all equal: any axes will do
    }
    q = q.Conjugate();
    f64 mag[3] = {static_cast<f64>(q.z) * q.z + static_cast<f64>(q.w) * q.w - 0.5,
                  static_cast<f64>(q.x) * q.z - static_cast<f64>(q.y) * q.w,
                  static_cast<f64>(q.y) * q.z + static_cast<f64>(q.x) * q.w};
    bool neg[3];
    for (int i = 0; i < 3; ++i) {
      neg[i] = mag[i] < 0.0;
      if (neg[i]) mag[i] = -mag[i];
    }
    int win;
    if (mag[0] > mag[1]) {
      win = mag[0] > mag[2] ? 0 : 2;
    } else {
      win = mag[1] > mag[2] ? 1 : 2;
    }
    switch (win) {
      case 0: p = neg[0] ? CQuaternion(1.0f, 0.0f, 0.0f, 0.0f) : CQuaternion(0.0f, 0.0f, 0.0f, 1.0f); break;
      case 1:
        p = neg[1] ? CQuaternion(0.5f, 0.5f, -0.5f, -0.5f) : CQuaternion(0.5f, 0.5f, 0.5f, 0.5f);
        Cycle(ka, false);
        break;
      default:
        p = neg[2] ? CQuaternion(-0.5f, 0.5f, -0.5f, -0.5f) : CQuaternion(0.5f, 0.5f, 0.5f, -0.5f);
        Cycle(ka, true);
        break;
    }
    const CQuaternion qp = q * p;
    const f64 t = std::sqrt(mag[win] + 0.5);
    p = p * CQuaternion(0.0f, 0.0f, static_cast<f32>(-qp.z / t), static_cast<f32>(qp.w / t));
    p = qtoz * p.Conjugate();
  } else {
    // All scales differ: choose among the 24 signed axis permutations the
    // one nearest to u.
    f64 qa[4] = {q.x, q.y, q.z, q.w};
    f64 pa[4] = {0.0, 0.0, 0.0, 0.0};
    bool neg[4];
    bool parity = false;
    for (int i = 0; i < 4; ++i) {
      neg[i] = qa[i] < 0.0;
      if (neg[i]) qa[i] = -qa[i];
      parity ^= neg[i];
    }
    // The two largest components: hi the largest, lo the second.
    int lo = qa[0] > qa[1] ? 0 : 1;
    int hi = qa[2] > qa[3] ? 2 : 3;
    if (qa[lo] > qa[hi]) {
      if (qa[lo ^ 1] > qa[hi]) {
        hi = lo;
        lo ^= 1;
      } else {
        std::swap(hi, lo);
      }
    } else if (qa[hi ^ 1] > qa[lo]) {
      lo = hi ^ 1;
    }
    const f64 all = (qa[0] + qa[1] + qa[2] + qa[3]) * 0.5;
    const f64 two = (qa[hi] + qa[lo]) * kSqrtHalf;
    const f64 big = qa[hi];
    auto signedValue = [&](int i, f64 v) { return neg[i] ? -v : v; };
    if (all > two) {
      if (all > big) {
        for (int i = 0; i < 4; ++i) pa[i] = signedValue(i, 0.5);
        Cycle(ka, parity);
      } else {
        pa[hi] = signedValue(hi, 1.0);
      }
    } else if (two > big) {
      pa[hi] = signedValue(hi, kSqrtHalf);
      pa[lo] = signedValue(lo, kSqrtHalf);
      if (lo > hi) std::swap(hi, lo);
      if (hi == 3) {
        static constexpr int kOther[3] = {1, 2, 0};
        hi = kOther[lo];
        lo = 3 - hi - lo;
      }
      Swap(ka, hi, lo);
    } else {
      pa[hi] = signedValue(hi, 1.0);
    }
    p = {static_cast<f32>(-pa[0]), static_cast<f32>(-pa[1]), static_cast<f32>(-pa[2]), static_cast<f32>(pa[3])};
  }
  k = {ka[0], ka[1], ka[2]};
  return p;
}

void decomp_affine(const CMatrix4& matrix, AffineParts& parts) {
  parts.Translate = matrix.GetTranslation();
  const CMatrix3 a = matrix.GetRotation3x3();
  CMatrix3 q, s;
  const f32 det = polar_decomp(a, q, s);
  if (det < 0.0f) {
    q = q * -1.0f;
    parts.Sign = -1.0f;
  } else {
    parts.Sign = 1.0f;
  }
  parts.Rotate = q.ToQuaternion();
  CMatrix3 u;
  parts.Scale = spect_decomp(s, u);
  parts.Stretch = u.ToQuaternion();
  const CQuaternion p = snuggle(parts.Stretch, parts.Scale);
  parts.Stretch *= p;
}

CMatrix4 ComposeAffine(const AffineParts& parts) {
  const CMatrix3 u = parts.Stretch.ToMatrix3();
  const CMatrix3 scaled = u.Transpose().ScaleColumns(parts.Scale * parts.Sign);
  CMatrix4 m;
  m.SetRotation3x3(scaled * u * parts.Rotate.ToMatrix3());
  m.SetTranslation(parts.Translate);
  return m;
}

}  // namespace KT
