// CTreeWind, the runtime's wind object, and CTreeWindDef, the wind
// definition it owns: the wind's tuning values, four oscillation records
// and the wind-matrix and leaf-angle tables. The definition is exchanged as
// a twelve-line keyword text (Save / Load), independent of the process
// locale:
//
//   NumWindMatricesAndLeafAngles <matrices> <leaf angles>
//   WindResponseAndLimit <response> <limit>
//   MaxBendAngle <angle>
//   BranchExponent <exponent>
//   LeafExponent <exponent>
//   GustStrengthMinMax <min> <max>
//   GustDurationMinMax <min> <max>
//   GustFrequency <frequency>
//   BranchOscillationX_LaLsHaHs <low angle> <low speed> <high angle> <high speed>
//   BranchOscillationY_LaLsHaHs ...
//   LeafRocking_LaLsHaHs ...
//   LeafRustling_LaLsHaHs ...
//
// Counts are unsigned decimals; other values are floats with six
// significant digits (the shorter of fixed and scientific notation).
#pragma once

#include <cstdint>

#include "treeruntime/tree_math.h"
#include "treeruntime/tree_memory.h"

namespace trt {

class CTreeWind;

// One oscillation: two angles and two speeds, and one value per wind matrix
// (branch records) or per leaf angle (leaf records).
struct stWindOscillation {
  float LowAngle = 10.0f;
  float HighAngle = 4.0f;
  float LowSpeed = 0.01f;
  float HighSpeed = 0.3f;
  TreeVector<float> Values;
};

class CTreeWindDef {
 public:
  static constexpr int kNumKeywordLines = 12;
  // Load refuses a text asking for more wind matrices or leaf angles.
  static constexpr int kMaxQuantity = 65536;

  // The defaults, then SetQuantities(1, 1).
  explicit CTreeWindDef(CTreeWind* owner);
  ~CTreeWindDef();
  CTreeWindDef(const CTreeWindDef&) = delete;
  // Copies every value, the four records with their lists and both matrix
  // lists; the owner stays.
  CTreeWindDef& operator=(const CTreeWindDef& other);

  // m = max(numMatrices, 1) wind matrices and a = max(numLeafAngles, 1) leaf
  // angles: WindMatrices and LeafAngleMatrices are refilled with the
  // diagonal matrix (1, 1, 1.1, 1), the two branch records' lists with m
  // zeros and the two leaf records' lists with a zeros.
  void SetQuantities(int numMatrices, int numLeafAngles);
  void SetGusting(float strengthMin, float strengthMax, float frequency, float durationMin, float durationMax);
  void SetLeafRustling(float lowAngle, float highAngle, float lowSpeed, float highSpeed);

  // The keyword text in a new counted byte array (tracked, no terminating
  // zero; free with TrackedDeleteArray), `size` set to its length. Null with
  // size 0 when writing the text fails.
  std::uint8_t* Save(std::uint32_t& size) const;
  // Parses `length` bytes of keyword text: whitespace-separated words are
  // compared with the keywords (case-sensitively), unknown words skipped,
  // until twelve keyword lines have been counted ("GustStrengthFreqDuration
  // s f d" counts three and sets the gusts from s, f and d). Lines may come
  // in any order. False when the text ends before twelve lines are counted
  // (a number ending exactly at the end of the text counts as ending it),
  // when a number does not parse, or when a count exceeds kMaxQuantity;
  // values parsed before the failure stay. Counts are truncated toward
  // zero before SetQuantities.
  bool Load(const char* text, std::uint32_t length);

  int GetNumWindMatrices() const { return static_cast<int>(WindMatrices.size()); }
  int GetNumLeafAngles() const { return static_cast<int>(LeafAngleMatrices.size()); }

  CTreeWind* m_pOwner;
  stWindOscillation BranchOscillationX;
  stWindOscillation BranchOscillationY;
  stWindOscillation LeafRocking;
  stWindOscillation LeafRustling;
  float MaxBendAngle = 0.0f;
  float WindResponse = 1.0f;
  float WindResponseLimit = 0.0f;
  float GustStrengthMin = 0.0f;
  float GustStrengthMax = 0.0f;
  float GustFrequency = 0.0f;
  float GustDurationMin = 0.0f;
  float GustDurationMax = 0.0f;
  float BranchExponent = 1.0f;
  float LeafExponent = 1.0f;
  TreeVector<stMat4> WindMatrices;
  TreeVector<stMat4> LeafAngleMatrices;
};

// The public wind object: a handle owning one definition (tracked, tags
// "CTreeWind::CTreeWind" and "CTreeWind::CTreeWind(copy)"). Construction
// lets BadAllocation through to the caller.
class CTreeWind {
 public:
  CTreeWind();
  // A new definition holding a copy of the other's values.
  CTreeWind(const CTreeWind& other);
  CTreeWind& operator=(const CTreeWind& other);
  ~CTreeWind();

  // CTreeWindDef::Save.
  std::uint8_t* Save(std::uint32_t& size) const;
  // CTreeWindDef::Load.
  bool Load(const char* text, std::uint32_t length);
  int GetNumLeafAngles() const;

  CTreeWindDef& GetDefinition() { return *m_pDefinition; }
  const CTreeWindDef& GetDefinition() const { return *m_pDefinition; }

 private:
  CTreeWindDef* m_pDefinition = nullptr;
};

}  // namespace trt
