#include "treeruntime/vec.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace trt {

stVec::stVec(float x, float y) : m_nSize(2) {
  m_afData[0] = x;
  m_afData[1] = y;
}

float stVec::Length() const {
  float sum = 0.0f;
  for (int i = 0; i < m_nSize && i < kMaxSize; ++i) sum += m_afData[i] * m_afData[i];
  return std::sqrt(sum);
}

void stVec::Normalize() {
  const float length = Length();
  if (length == 0.0f) return;
  for (int i = 0; i < m_nSize && i < kMaxSize; ++i) m_afData[i] /= length;
}

stVec operator+(const stVec& a, const stVec& b) {
  stVec r;
  r.m_nSize = std::clamp(std::min(a.m_nSize, b.m_nSize), 0, stVec::kMaxSize);
  for (int i = 0; i < r.m_nSize; ++i) r.m_afData[i] = a.m_afData[i] + b.m_afData[i];
  return r;
}

stVec operator-(const stVec& a, const stVec& b) {
  stVec r;
  r.m_nSize = std::clamp(std::min(a.m_nSize, b.m_nSize), 0, stVec::kMaxSize);
  for (int i = 0; i < r.m_nSize; ++i) r.m_afData[i] = a.m_afData[i] - b.m_afData[i];
  return r;
}

stVec operator*(const stVec& v, float s) {
  stVec r;
  r.m_nSize = std::clamp(v.m_nSize, 0, stVec::kMaxSize);
  for (int i = 0; i < r.m_nSize; ++i) r.m_afData[i] = v.m_afData[i] * s;
  return r;
}

stRegion::stRegion() {
  constexpr float kMax = std::numeric_limits<float>::max();
  for (int i = 0; i < 3; ++i) {
    m_cMin.m_afData[i] = kMax;
    m_cMax.m_afData[i] = -kMax;
  }
}

bool stRegion::IsEmpty() const {
  for (int i = 0; i < 3; ++i) {
    if (m_cMin.m_afData[i] > m_cMax.m_afData[i]) return true;
  }
  return false;
}

stRegion operator+(const stRegion& box, const stVec3& point) {
  stRegion r = box;
  const float p[3] = {point.x, point.y, point.z};
  for (int i = 0; i < 3; ++i) {
    if (r.m_cMin.m_afData[i] > p[i]) r.m_cMin.m_afData[i] = p[i];
    if (r.m_cMax.m_afData[i] < p[i]) r.m_cMax.m_afData[i] = p[i];
  }
  return r;
}

stRegion operator+(const stRegion& box, const stRegion& other) {
  stRegion r = box;
  for (int i = 0; i < 3; ++i) {
    if (r.m_cMin.m_afData[i] > other.m_cMin.m_afData[i]) r.m_cMin.m_afData[i] = other.m_cMin.m_afData[i];
    if (r.m_cMax.m_afData[i] < other.m_cMax.m_afData[i]) r.m_cMax.m_afData[i] = other.m_cMax.m_afData[i];
  }
  return r;
}

}  // namespace trt
