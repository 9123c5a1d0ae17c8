#include <gtest/gtest.h>

#include <vector>

#include "render/materials/material_attribute_control.h"
#include "render/materials/standard_material.h"
#include "tests/exporter/convert/export_fixture.h"

namespace {

using KT::CMaterialAttributeControl;
using KT::Host::SceneBuilder;
using KT::Testing::ExportScene;

CMaterialAttributeControl* AttributeControl(KT::CDorun* material) {
  for (KT::CDorun* c = material->GetFirstControl(); c != nullptr; c = c->GetChainNext())
    if (auto* control = dynamic_cast<CMaterialAttributeControl*>(c)) return control;
  return nullptr;
}

template <typename Track>
std::vector<KT::i32> Times(const Track& track) {
  std::vector<KT::i32> out;
  for (KT::u32 i = 0; i < track.Size(); ++i) out.push_back(track[i].Time);
  return out;
}

TEST(BuildMaterialAttributeControl, OneKeyPerSampleOnEachTrack) {
  SceneBuilder b;
  b.Range(0, 100 * 160);
  b.AddMaterial("m", "Glow")
      .Key("diffuse", 0, {0.0f, 0.0f, 0.0f})
      .Key("diffuse", 100 * 160, {1.0f, 0.5f, 0.25f})
      .Key("opacity", 0, {1.0f})
      .Key("opacity", 100 * 160, {0.0f})
      .Set("opacFalloff", {0.3f})
      .Set("shininess", {0.6f})
      .Slot(1, 0.8f, KT::Host::BitmapMap("none.bmp"))
      .Slot(9, 0.4f, KT::Host::ReflectionMap())
      .Key("amount:4", 0, {0.0f})
      .Key("amount:4", 100 * 160, {1.0f});
  b.AddNode("A").Material("m");
  ExportScene s(b);
  s.Context().sampleRate = 10;
  KT::CPointer<KT::CMaterial> material = s.Context().ConvertMaterial(s.MaterialOf(0), 0);
  ASSERT_TRUE(material);
  CMaterialAttributeControl* control = AttributeControl(material.Get());
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->GetName(), u"Glow");
  EXPECT_EQ(control->GetFrequency(), 1.0f);

  const std::vector<KT::i32> expected = {0, 333, 666, 1000, 1333, 1666, 2000, 2333, 2666, 3000, 3333};
  EXPECT_EQ(Times(control->GetLightKeys()), expected);
  EXPECT_EQ(Times(control->GetSelfKeys()), expected);
  EXPECT_EQ(Times(control->GetTextureKeys()), expected);

  const auto& light = control->GetLightKeys()[5];  // frame 50
  EXPECT_FLOAT_EQ(light.Diffuse.x, 0.5f);
  EXPECT_FLOAT_EQ(light.Diffuse.z, 0.125f);
  EXPECT_FLOAT_EQ(light.Shininess, 0.6f);
  EXPECT_EQ(light.TransitionType, KT::TT_LINEAR);
  EXPECT_EQ(light.TransitionStrength, 50.0f);
  const auto& self = control->GetSelfKeys()[10];
  EXPECT_FLOAT_EQ(self.Opacity, 0.0f);
  EXPECT_FLOAT_EQ(self.Opfall, 0.3f);
  EXPECT_EQ(self.SoftThresh, 0.0f);

  const auto& texture = control->GetTextureKeys()[5];
  EXPECT_FLOAT_EQ(texture.Weights[1], 0.8f);
  EXPECT_FLOAT_EQ(texture.Weights[4], 0.5f);
  EXPECT_FLOAT_EQ(texture.Weights[9], 0.4f);
  for (int channel : {0, 3, 5, 7, 11}) {
    EXPECT_EQ(texture.Weights[static_cast<std::size_t>(channel)], 1.0f) << channel;
  }
  auto* standard = dynamic_cast<KT::CStandardMaterial*>(material.Get());
  ASSERT_NE(standard, nullptr);
  EXPECT_NE(standard->GetTexture(KT::CStandardMaterial::kCube), nullptr)
      << "channel 11 weighs 1.0 even under a cube map";
}

TEST(BuildMaterialAttributeControl, AnUnanimatedMaterialStillGetsEqualKeys) {
  SceneBuilder b;
  b.Range(160, 4 * 160);
  b.AddMaterial("m", "Still").Set("diffuse", {0.2f, 0.3f, 0.4f});
  b.AddNode("A").Material("m");
  ExportScene s(b);
  KT::CPointer<KT::CMaterial> material = s.Context().ConvertMaterial(s.MaterialOf(0), 0);
  CMaterialAttributeControl* control = AttributeControl(material.Get());
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(Times(control->GetLightKeys()), (std::vector<KT::i32>{0, 33, 66, 100})) << "measured from the range start";
  for (KT::u32 i = 0; i < control->GetLightKeys().Size(); ++i) {
    EXPECT_EQ(control->GetLightKeys()[i].Diffuse, (KT::CMaterialDataControl::Vec3{0.2f, 0.3f, 0.4f}));
  }
  EXPECT_EQ(control->GetSelfKeys().Size(), 4u);
  EXPECT_EQ(control->GetTextureKeys().Size(), 4u);
}

TEST(BuildMaterialAttributeControl, NullArgumentsDoNothing) {
  SceneBuilder b;
  b.AddMaterial("m", "M");
  b.AddNode("A").Material("m");
  ExportScene s(b);
  KT::CPointer<KT::CStandardMaterial> material(new KT::CStandardMaterial());
  s.Context().BuildMaterialAttributeControl(nullptr, material.Get());
  EXPECT_EQ(material->GetFirstControl(), nullptr);
  s.Context().BuildMaterialAttributeControl(dynamic_cast<StdMat*>(s.MaterialOf(0)), nullptr);
}

}  // namespace
