#include "treeruntime/tree_wind.h"

#include <algorithm>
#include <cstring>
#include <ios>
#include <locale>
#include <sstream>
#include <string>

namespace trt {
namespace {

stMat4 DefaultWindMatrix() {
  // The third diagonal element is 1.1 by design of the stored format.
  stMat4 m;
  m.m[10] = 1.1f;
  return m;
}

void WriteOscillation(std::ostream& out, const char* keyword, const stWindOscillation& o) {
  out << keyword << ' ' << o.LowAngle << ' ' << o.LowSpeed << ' ' << o.HighAngle << ' ' << o.HighSpeed << std::endl;
}

void ReadOscillation(std::istream& in, stWindOscillation& o) {
  in >> o.LowAngle >> o.LowSpeed >> o.HighAngle >> o.HighSpeed;
}

}  // namespace

// --- CTreeWindDef -------------------------------------------------------------

CTreeWindDef::CTreeWindDef(CTreeWind* owner) : m_pOwner(owner) { SetQuantities(1, 1); }

CTreeWindDef::~CTreeWindDef() { m_pOwner = nullptr; }

CTreeWindDef& CTreeWindDef::operator=(const CTreeWindDef& other) {
  if (this == &other) return *this;
  BranchOscillationX = other.BranchOscillationX;
  BranchOscillationY = other.BranchOscillationY;
  LeafRocking = other.LeafRocking;
  LeafRustling = other.LeafRustling;
  MaxBendAngle = other.MaxBendAngle;
  WindResponse = other.WindResponse;
  WindResponseLimit = other.WindResponseLimit;
  GustStrengthMin = other.GustStrengthMin;
  GustStrengthMax = other.GustStrengthMax;
  GustFrequency = other.GustFrequency;
  GustDurationMin = other.GustDurationMin;
  GustDurationMax = other.GustDurationMax;
  BranchExponent = other.BranchExponent;
  LeafExponent = other.LeafExponent;
  WindMatrices = other.WindMatrices;
  LeafAngleMatrices = other.LeafAngleMatrices;
  return *this;
}

void CTreeWindDef::SetQuantities(int numMatrices, int numLeafAngles) {
  const std::size_t m = static_cast<std::size_t>(std::max(numMatrices, 1));
  const std::size_t a = static_cast<std::size_t>(std::max(numLeafAngles, 1));
  const stMat4 matrix = DefaultWindMatrix();
  WindMatrices.assign(m, matrix);
  BranchOscillationX.Values.assign(m, 0.0f);
  BranchOscillationY.Values.assign(m, 0.0f);
  LeafRocking.Values.assign(a, 0.0f);
  LeafRustling.Values.assign(a, 0.0f);
  LeafAngleMatrices.assign(a, matrix);
}

void CTreeWindDef::SetGusting(float strengthMin, float strengthMax, float frequency, float durationMin,
                              float durationMax) {
  GustStrengthMin = strengthMin;
  GustStrengthMax = strengthMax;
  GustFrequency = frequency;
  GustDurationMin = durationMin;
  GustDurationMax = durationMax;
}

void CTreeWindDef::SetLeafRustling(float lowAngle, float highAngle, float lowSpeed, float highSpeed) {
  LeafRustling.LowAngle = lowAngle;
  LeafRustling.HighAngle = highAngle;
  LeafRustling.LowSpeed = lowSpeed;
  LeafRustling.HighSpeed = highSpeed;
}

std::uint8_t* CTreeWindDef::Save(std::uint32_t& size) const {
  size = 0;
  std::string text;
  try {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out.exceptions(std::ios::failbit | std::ios::badbit);
    out << "NumWindMatricesAndLeafAngles " << static_cast<unsigned>(WindMatrices.size()) << ' '
        << static_cast<unsigned>(LeafAngleMatrices.size()) << std::endl;
    out << "WindResponseAndLimit " << WindResponse << ' ' << WindResponseLimit << std::endl;
    out << "MaxBendAngle " << MaxBendAngle << std::endl;
    out << "BranchExponent " << BranchExponent << std::endl;
    out << "LeafExponent " << LeafExponent << std::endl;
    out << "GustStrengthMinMax " << GustStrengthMin << ' ' << GustStrengthMax << std::endl;
    out << "GustDurationMinMax " << GustDurationMin << ' ' << GustDurationMax << std::endl;
    out << "GustFrequency " << GustFrequency << std::endl;
    WriteOscillation(out, "BranchOscillationX_LaLsHaHs", BranchOscillationX);
    WriteOscillation(out, "BranchOscillationY_LaLsHaHs", BranchOscillationY);
    WriteOscillation(out, "LeafRocking_LaLsHaHs", LeafRocking);
    WriteOscillation(out, "LeafRustling_LaLsHaHs", LeafRustling);
    text = out.str();
  } catch (const std::ios_base::failure&) {
    return nullptr;
  }
  std::uint8_t* array = TrackedNewArray<std::uint8_t>(text.size(), "CTreeWindDef::Save, pText");
  if (!text.empty()) std::memcpy(array, text.data(), text.size());
  size = static_cast<std::uint32_t>(text.size());
  return array;
}

bool CTreeWindDef::Load(const char* text, std::uint32_t length) {
  if (text == nullptr && length > 0) return false;
  try {
    std::stringstream in(std::ios::in | std::ios::out | std::ios::binary);
    in.imbue(std::locale::classic());
    in.write(text, length);
    // Reaching the end of the text is a failure too: a complete text always
    // ends with a line break after its twelfth line.
    in.exceptions(std::ios::failbit | std::ios::badbit | std::ios::eofbit);

    int counted = 0;
    std::string word;
    while (counted < kNumKeywordLines) {
      in >> word;
      if (word == "NumWindMatricesAndLeafAngles") {
        float matrices = 0.0f;
        float angles = 0.0f;
        in >> matrices >> angles;
        const std::int32_t m = TruncateToInt(matrices);
        const std::int32_t a = TruncateToInt(angles);
        if (m > kMaxQuantity || a > kMaxQuantity) return false;
        SetQuantities(m, a);
        ++counted;
      } else if (word == "WindResponseAndLimit") {
        in >> WindResponse >> WindResponseLimit;
        ++counted;
      } else if (word == "MaxBendAngle") {
        in >> MaxBendAngle;
        ++counted;
      } else if (word == "BranchExponent") {
        in >> BranchExponent;
        ++counted;
      } else if (word == "LeafExponent") {
        in >> LeafExponent;
        ++counted;
      } else if (word == "GustFrequency") {
        in >> GustFrequency;
        ++counted;
      } else if (word == "GustStrengthMinMax") {
        in >> GustStrengthMin >> GustStrengthMax;
        ++counted;
      } else if (word == "GustDurationMinMax") {
        in >> GustDurationMin >> GustDurationMax;
        ++counted;
      } else if (word == "BranchOscillationX_LaLsHaHs") {
        ReadOscillation(in, BranchOscillationX);
        ++counted;
      } else if (word == "BranchOscillationY_LaLsHaHs") {
        ReadOscillation(in, BranchOscillationY);
        ++counted;
      } else if (word == "LeafRocking_LaLsHaHs") {
        ReadOscillation(in, LeafRocking);
        ++counted;
      } else if (word == "LeafRustling_LaLsHaHs") {
        ReadOscillation(in, LeafRustling);
        ++counted;
      } else if (word == "GustStrengthFreqDuration") {
        // An older single line for the gusts; it stands for three lines.
        float strength = 0.0f;
        float frequency = 0.0f;
        float duration = 0.0f;
        in >> strength >> frequency >> duration;
        SetGusting(strength * 0.25f, strength * 1.25f, frequency, duration * 0.5f, duration * 1.5f);
        counted += 3;
      }
    }
    return true;
  } catch (const std::ios_base::failure&) {
    return false;
  }
}

// --- CTreeWind ----------------------------------------------------------------

CTreeWind::CTreeWind() : m_pDefinition(TrackedNew<CTreeWindDef>("CTreeWind::CTreeWind", this)) {}

CTreeWind::CTreeWind(const CTreeWind& other)
    : m_pDefinition(TrackedNew<CTreeWindDef>("CTreeWind::CTreeWind(copy)", this)) {
  try {
    *m_pDefinition = *other.m_pDefinition;
  } catch (...) {
    TrackedDelete(m_pDefinition);
    throw;
  }
}

CTreeWind& CTreeWind::operator=(const CTreeWind& other) {
  *m_pDefinition = *other.m_pDefinition;
  return *this;
}

CTreeWind::~CTreeWind() { TrackedDelete(m_pDefinition); }

std::uint8_t* CTreeWind::Save(std::uint32_t& size) const { return m_pDefinition->Save(size); }

bool CTreeWind::Load(const char* text, std::uint32_t length) { return m_pDefinition->Load(text, length); }

int CTreeWind::GetNumLeafAngles() const { return m_pDefinition->GetNumLeafAngles(); }

}  // namespace trt
