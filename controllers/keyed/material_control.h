// KT::CMaterialControl: material animation kept as plain lists, loaded,
// copied and saved but never evaluated.
//
// The lists follow the groups of the material attribute controller's keys
// (lighting, transparency, texture weights), each a list of key times and
// one list of values per field, plus six groups of texture-coordinate
// transforms (key times and {translate u, v, scale u, v} records). The
// lists are independent: a value list may hold more or fewer entries than
// its time list.
//
// Update answers kErrNotEvaluated (0x8000000B): attached to an object, the
// controller ends that object's data update (the controllers behind it in
// the chain do not run), while the scene's data pass goes on with the next
// object.
//
// Record, after the material data controller's part (little-endian):
// version pair 2.04, then the 25 lists in the order of ForEachList, each a
// u32 count and the elements as raw f32 (4, 12, 48 or 16 bytes each).
// Older levels:
//   up to 2.01  no UV groups;
//   2.02        UV groups 1 and 3 to 6 (no group 2);
//   below 2.01  a non-zero Weight of the controller part is subtracted from
//               the light, self and texture key times;
//   below 2.04  each UV translation T with scale S is stored unscaled: it
//               becomes -(T x S).
#pragma once

#include <array>
#include <vector>

#include "render/materials/material_data_control.h"

namespace KT {

class CMaterialControl : public CMaterialDataControl {
  KT_DECLARE_CLASS(CMaterialControl)

 public:
  // A UV transform record (16 bytes).
  struct UvTransform {
    CVector2 Translate;
    CVector2 Scale;
  };
  static_assert(sizeof(UvTransform) == 16);
  struct UvGroup {
    std::vector<f32> Times;
    std::vector<UvTransform> Transforms;
  };
  static constexpr u32 kUvGroupCount = 6;
  static constexpr u32 kListCount = 25;

  // The lists, in the order of the record.
  struct Lists {
    std::vector<f32> LightTimes;
    std::vector<Vec3> Ambient;
    std::vector<Vec3> Diffuse;
    std::vector<Vec3> Specular;
    std::vector<f32> Shininess;
    std::vector<f32> ShineStrength;
    std::vector<f32> SelfIllum;
    std::vector<f32> SelfTimes;
    std::vector<f32> Opacity;
    std::vector<f32> Opfall;
    std::vector<f32> SoftThresh;
    std::vector<f32> TextureTimes;
    std::vector<Weights> TextureWeight;
    std::array<UvGroup, kUvGroupCount> Uv;
  };

  // Calls visit(index, list) for the 25 lists in record order (index 0 to
  // 24; UV group g, counted from 1, is lists 11 + 2g and 12 + 2g).
  template <typename ListsT, typename Visit>
  static void ForEachList(ListsT& lists, Visit&& visit) {
    u32 i = 0;
    visit(i++, lists.LightTimes);
    visit(i++, lists.Ambient);
    visit(i++, lists.Diffuse);
    visit(i++, lists.Specular);
    visit(i++, lists.Shininess);
    visit(i++, lists.ShineStrength);
    visit(i++, lists.SelfIllum);
    visit(i++, lists.SelfTimes);
    visit(i++, lists.Opacity);
    visit(i++, lists.Opfall);
    visit(i++, lists.SoftThresh);
    visit(i++, lists.TextureTimes);
    visit(i++, lists.TextureWeight);
    for (auto& group : lists.Uv) {
      visit(i++, group.Times);
      visit(i++, group.Transforms);
    }
  }

  // Version gates of the record.
  static constexpr u32 kVersionWeightApplied = 201;  // key times no longer offset by Weight
  static constexpr u32 kVersionUvGroups = 202;       // UV groups 1 and 3 to 6
  static constexpr u32 kVersionUvGroup2 = 203;       // UV group 2
  static constexpr u32 kVersionScaledUv = 204;       // UV translations stored as they apply

  // Every list empty.
  CMaterialControl() = default;
  // The material data controller's part and every list.
  CMaterialControl(const CMaterialControl& other) = default;

  const Lists& GetLists() const { return lists_; }
  // The lists for editing in place; the caller marks the control modified.
  Lists& EditLists() { return lists_; }

  // Never evaluates: kErrNotEvaluated.
  Result Update(i32 time) override;
  // The zero time, whatever the lists hold.
  i32 GetEndTime() const override;

  // --- root protocol ---
  // A copy of this controller; kErrOutOfMemory without memory.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Target null or not a material controller: kErrNotFound, nothing
  // changed. Else the material data controller's part (its failure is
  // answered), then the target's lists become copies of these.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // The current form and every older one (see above); a version above
  // 2.04: kErrNewerVersion. Counts are checked against the bytes left
  // (kErrStream). The first failing read ends the load.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // The material data controller's description only: the lists are not
  // reported.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  // The material data controller's + 8 + for each list 4 + its elements.
  u32 GetSaveSize() const override;

 private:
  Lists lists_;
};

}  // namespace KT
