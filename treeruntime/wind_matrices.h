// CWindMatrices: the wind object of one tree and the wind-matrix table that
// every tree shares.
//
// Per tree it holds the three wind methods, the values taken from the
// tree's wind information, the matrix range the tree's vertices use and the
// leaf rocking and rustling tables. Class-wide it owns one table of 4x4
// matrices (identity until a host fills them per frame): the first instance
// makes it with 4 matrices, Resize replaces it, the last instance frees it.
//
// It also turns leaf cards: four evaluators multiply a caller's 3x3 matrix
// in place, each step M := R x M (stMat3's rotation builders, degrees), with
// angles from a sine of the caller's argument or from the rocking and
// rustling tables, and per-card offsets from a fixed table of 30 angles.
//
// The shared table and the instance count are process-wide and unguarded.
#pragma once

#include <cstdint>

#include "treeruntime/tree_math.h"
#include "treeruntime/tree_wind_info.h"

namespace trt {

class CWindMatrices {
 public:
  static constexpr int kNumAngleOffsets = 30;
  // The card angle offsets, in degrees.
  static constexpr float kAngleOffsets[kNumAngleOffsets] = {6,  -10, 16, -8,  2,  -18, -14, 0,   -4, 10,
                                                            -6, 8,   4,  -2,  14, -12, 14,  -16, 4,  -18,
                                                            13, 9,   17, -9,  3,  -7,  -15, 7,   -5, 15};
  // The shared table's count is 16 bits wide: larger requests are clamped.
  static constexpr std::int32_t kMaxMatrices = 65535;
  // The table the first instance makes.
  static constexpr std::int32_t kInitialMatrices = 4;

  // The values below; makes the shared table (kInitialMatrices) when there
  // is none and counts the instance.
  CWindMatrices();
  // Clears the angle-table pointers; the last instance sets the shared count
  // to 0 and frees the table.
  ~CWindMatrices();
  CWindMatrices(const CWindMatrices&) = delete;
  CWindMatrices& operator=(const CWindMatrices&) = delete;

  // Frees the shared table and makes `count` identity matrices; counts
  // below 0 give 0 and counts above kMaxMatrices give kMaxMatrices (a larger
  // count would not fit the 16-bit count and wrap to a smaller one).
  static void Resize(std::int32_t count);
  static std::uint32_t GetNumSharedMatrices();
  // Matrix `index` of the shared table, or null outside it.
  static stMat4* GetSharedMatrix(std::uint32_t index);
  static std::int32_t GetInstanceCount();
  // Frees the shared table when no instance uses it (a table resized while
  // no instance lived); nothing otherwise.
  static void ReleaseUnusedTable();

  // Takes the tree's wind information: strength = vector A.x, second
  // component = vector A.y, rate = value x 8 x A.y, amplitude = value x 180
  // x A.x (degrees), wind scalar = value.
  void SetWindInfo(const STreeWindInfo& info);
  // The range of shared matrices this tree's vertices use.
  void SetMatrixRange(std::uint32_t first, std::uint32_t count);

  // The sine-driven angle of argument x (degrees): with the wind engine
  // flag set, s = (sin(x + phase) + 1) / 2 over [-amplitude, amplitude];
  // with it clear, s = (sin(x) + 1) / 2 over [-0.15 strength, 0.15 strength].
  float SineAngle(float x) const;
  // The table-driven angles of index i: the table entry (i mod the leaf
  // angle count) times its scale while the flag is set and the table
  // exists, else 0.
  float RockAngle(std::int32_t index) const;
  float RustleAngle(std::int32_t index) const;
  // Offsets of card index i: kAngleOffsets[i mod 30] and
  // kAngleOffsets[29 - (i mod 30)]. Every index reads inside the table.
  static float FirstOffset(std::int32_t index);
  static float SecondOffset(std::int32_t index);

  // Leaf card, sine-driven: Rz(o1 + a1), Ry(o2 + a2), Rx(SineAngle(x)).
  void RotateCard(std::int32_t index, float a1, float a2, float x, stMat3& m) const;
  // Leaf card, table-driven: Rz(o1 + a1), Ry(o2 + a2), Rz(rustle), Rx(rock).
  void RotateCardFromTables(std::int32_t index, float a1, float a2, stMat3& m) const;
  // Single axis, sine-driven: Rx(SineAngle(x)).
  void RotateAxis(float x, stMat3& m) const;
  // Single axis, table-driven: Rx(rock).
  void RotateAxisFromTables(std::int32_t index, stMat3& m) const;

  float m_fPhase = 0.0f;
  float m_fWindScalar = 0.25f;
  std::int32_t m_nBranchWindMethod = 2;
  std::int32_t m_nFrondWindMethod = 2;
  std::int32_t m_nLeafWindMethod = 2;
  bool m_bWindEngineFlag = true;
  float m_fStrength = 1.0f;
  float m_fSecondComponent = 1.0f;
  float m_fRate = 0.0f;       // no computation depends on it
  float m_fAmplitude = 0.0f;  // degrees
  std::uint32_t m_uFirstMatrix = 0;
  std::uint32_t m_uNumMatrices = kInitialMatrices;
  std::uint32_t m_uNumLeafAngles = 0;
  // Owned elsewhere; each holds m_uNumLeafAngles angles in degrees.
  const float* m_pRockingAngles = nullptr;
  const float* m_pRustlingAngles = nullptr;
  float m_fRockingScale = 1.0f;   // 21000
  float m_fRustlingScale = 1.0f;  // 21001
};

}  // namespace trt
