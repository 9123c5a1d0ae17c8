#include "exporter/plugin/conversion_helpers.h"

#include "exporter/validation/rig_names.h"
#include "render/lights/directional_light.h"
#include "render/lights/point_light.h"
#include "render/lights/spot_light.h"

KT::CMatrix4 WidenMatrix(const Matrix3& m) {
  KT::CMatrix4 out;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 3; ++c) out.m[r][c] = m.m[r][c];
    out.m[r][3] = r == 3 ? 1.0f : 0.0f;
  }
  return out;
}

bool IsRigBoneName(const KT::WString& name) {
  return InRigTable(RigBodyBones, name) || InRigTable(FootFloorBones, name) || InRigTable(HandFloorBones, name) ||
         InRigTable(HandPivotBones, name) || InRigTable(NubBones, name) || InRigTable(FaceControlPoints, name) ||
         InRigTable(FacialBones, name);
}

bool FindNameIndex(const KT::WString& name, const char16_t* const* names, int count, int& index) {
  if (names == nullptr || count < 1) return false;
  for (int i = 0; i < count; ++i) {
    if (names[i] != nullptr && name == names[i]) {
      index = i;
      return true;
    }
  }
  return false;
}

int TextureSlotOfMapChannel(int channel) {
  switch (channel) {
    case 1:
    case 2:
    case 4:
    case 6:
    case 8:
    case 9:
    case 10:
      return channel;
    default:
      return 12;
  }
}

KT::u32 NodeCodeFromIndex(int index) {
  static constexpr KT::u32 kCodes[6] = {0x1000100, 0x1000200, 0x1000300, 0x1000000, 0x2000000, 0x3000000};
  return index >= 0 && index < 6 ? kCodes[index] : 0;
}

bool SetLightLocation(KT::CLight* light, float x, float y, float z) {
  if (auto* spot = dynamic_cast<KT::CSpotLight*>(light)) {
    spot->SetLocation({x, y, z});
    return true;
  }
  if (auto* point = dynamic_cast<KT::CPointLight*>(light)) {
    point->SetLocation({x, y, z});
    return true;
  }
  return false;
}

bool SetLightDirection(KT::CLight* light, float x, float y, float z) {
  if (auto* spot = dynamic_cast<KT::CSpotLight*>(light)) {
    spot->SetDirection({x, y, z});
    return true;
  }
  if (auto* directional = dynamic_cast<KT::CDirectionalLight*>(light)) {
    directional->SetDirection({x, y, z});
    return true;
  }
  return false;
}
