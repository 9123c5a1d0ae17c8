#include "exporter/convert/material_conversion.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/host/host_materials.h"
#include "render/materials/compound_materials.h"
#include "render/materials/material_attribute_control.h"
#include "render/materials/standard_material.h"
#include "render/materials/texture_maps.h"
#include "tests/exporter/convert/export_fixture.h"
#include "tests/support/temp_folder.h"

namespace {

using KT::CStandardMaterial;
using KT::Host::BitmapDesc;
using KT::Host::BitmapMap;
using KT::Host::MaterialClass;
using KT::Host::NormalBumpMap;
using KT::Host::ReflectionMap;
using KT::Host::SceneBuilder;
using KT::Testing::ExportScene;
using KT::Testing::TempFolder;

int CountAttributeControls(KT::CDorun* object) {
  int count = 0;
  for (KT::CDorun* c = object->GetFirstControl(); c != nullptr; c = c->GetChainNext())
    if (dynamic_cast<KT::CMaterialAttributeControl*>(c) != nullptr) ++count;
  return count;
}

TEST(ConvertUvTransform, ScaleAndTranslationFromTilingAndOffset) {
  struct Case {
    float uTiling, vTiling, uOffset, vOffset;
    float scaleU, scaleV, translateU, translateV;
  };
  const Case cases[] = {
      {1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f},
      {2.0f, 2.0f, 0.0f, 0.0f, 2.0f, 2.0f, -0.5f, -0.5f},
      {1.0f, 1.0f, 0.25f, 0.0f, 1.0f, 1.0f, -0.25f, 0.0f},   // the U offset is subtracted
      {1.0f, 1.0f, 0.0f, 0.25f, 1.0f, 1.0f, 0.0f, 0.25f},    // the V offset is added
      {4.0f, 0.5f, 0.25f, 0.5f, 4.0f, 0.5f, -2.5f, 0.5f},
  };
  for (const Case& c : cases) {
    BitmapDesc desc;
    desc.uTiling = c.uTiling;
    desc.vTiling = c.vTiling;
    desc.uOffset = c.uOffset;
    desc.vOffset = c.vOffset;
    KT::Host::HostUVGen gen(desc);
    const UvTransform uv = ConvertUvTransform(&gen, 0);
    EXPECT_FLOAT_EQ(uv.scale[0], c.scaleU);
    EXPECT_FLOAT_EQ(uv.scale[1], c.scaleV);
    EXPECT_FLOAT_EQ(uv.translate[0], c.translateU) << c.uTiling << " " << c.uOffset;
    EXPECT_FLOAT_EQ(uv.translate[1], c.translateV) << c.vTiling << " " << c.vOffset;
  }
  const UvTransform none = ConvertUvTransform(nullptr, 0);
  EXPECT_EQ(none.scale[0], 1.0f);
  EXPECT_EQ(none.translate[1], 0.0f);
}

TEST(ConvertMaterial, StandardCopiesColoursFactorsAndName) {
  SceneBuilder b;
  b.AddMaterial("m", "Skin")
      .TwoSided()
      .Set("ambient", {0.1f, 0.2f, 0.3f})
      .Set("diffuse", {2.0f, 0.5f, 0.25f})  // copied without scaling or clamping
      .Set("specular", {0.7f, 0.8f, 0.9f})
      .Set("filter", {0.4f, 0.5f, 0.6f})
      .Set("shininess", {0.35f})
      .Set("shinStr", {0.45f})
      .Set("selfIllum", {0.55f})
      .Set("opacity", {0.65f})
      .Set("opacFalloff", {0.75f})
      .Set("wireSize", {3.0f})
      .Set("ior", {1.33f});
  b.AddNode("A").Material("m");
  ExportScene s(b);
  KT::CPointer<KT::CMaterial> converted = s.Context().ConvertMaterial(s.MaterialOf(0), 0);
  auto* m = dynamic_cast<CStandardMaterial*>(converted.Get());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->GetName(), u"Skin");
  EXPECT_TRUE(m->TwoSided);
  EXPECT_EQ(m->Ambient, (CStandardMaterial::Vec3{0.1f, 0.2f, 0.3f}));
  EXPECT_EQ(m->Diffuse, (CStandardMaterial::Vec3{2.0f, 0.5f, 0.25f}));
  EXPECT_EQ(m->Specular, (CStandardMaterial::Vec3{0.7f, 0.8f, 0.9f}));
  EXPECT_EQ(m->Filter, (CStandardMaterial::Vec3{0.4f, 0.5f, 0.6f}));
  EXPECT_EQ(m->Shininess, 0.35f);
  EXPECT_EQ(m->ShineStrength, 0.45f);
  EXPECT_EQ(m->SelfIllum, 0.55f);
  EXPECT_EQ(m->Opacity, 0.65f);
  EXPECT_EQ(m->Opfall, 0.75f);
  EXPECT_EQ(m->WireSize, 3.0f);
  EXPECT_EQ(m->IORefract, 1.33f);
  const CStandardMaterial defaults;
  EXPECT_EQ(m->SoftThresh, defaults.SoftThresh);
  EXPECT_EQ(m->DimIntens, defaults.DimIntens);
  EXPECT_EQ(m->DiffTexBlend, defaults.DiffTexBlend);
  EXPECT_EQ(CountAttributeControls(m), 1);
}

TEST(ConvertMaterial, StandardIsConvertedOncePerContext) {
  SceneBuilder b;
  b.AddMaterial("m", "Shared");
  b.AddNode("A").Material("m");
  b.AddNode("B").Material("m");
  ExportScene s(b);
  KT::CPointer<KT::CMaterial> first = s.Context().ConvertMaterial(s.MaterialOf(0), 0);
  KT::CPointer<KT::CMaterial> second = s.Context().ConvertMaterial(s.MaterialOf(1), 0);
  ASSERT_TRUE(first);
  EXPECT_EQ(first.Get(), second.Get());
  EXPECT_EQ(CountAttributeControls(first.Get()), 1) << "the controller is built with the first conversion only";
  EXPECT_EQ(s.Context().materialCache.size(), 1u);
}

TEST(ConvertMaterial, MultiSkipsEmptySlotsSoLaterOnesMoveDown) {
  SceneBuilder b;
  b.AddMaterial("red", "Red");
  b.AddMaterial("blue", "Blue");
  b.AddMaterial("multi", "Multi", MaterialClass::kMulti).Sub("red").Sub("").Sub("blue");
  b.AddNode("A").Material("multi");
  ExportScene s(b);
  KT::CPointer<KT::CMaterial> converted = s.Context().ConvertMaterial(s.MaterialOf(0), 0);
  auto* multi = dynamic_cast<KT::CMultiMaterial*>(converted.Get());
  ASSERT_NE(multi, nullptr);
  EXPECT_EQ(multi->GetName(), u"Multi");
  ASSERT_EQ(multi->GetSubMaterialCount(), 2u);
  EXPECT_EQ(multi->GetSubMaterial(0)->GetName(), u"Red");
  EXPECT_EQ(multi->GetSubMaterial(1)->GetName(), u"Blue") << "the host's third sub-material comes second";
  // Not cached itself; its standard sub-materials are.
  KT::CPointer<KT::CMaterial> again = s.Context().ConvertMaterial(s.MaterialOf(0), 0);
  EXPECT_NE(again.Get(), converted.Get());
  EXPECT_EQ(static_cast<KT::CMultiMaterial*>(again.Get())->GetSubMaterial(0), multi->GetSubMaterial(0));
  EXPECT_EQ(s.Context().materialCache.size(), 2u);
}

TEST(ConvertMaterial, BlendTakesBothMaterialsAndABitmapMask) {
  TempFolder folder;
  folder.WriteFile("mask.bmp", KT::Testing::SmallBmp());
  SceneBuilder b;
  b.AddMaterial("one", "One");
  b.AddMaterial("two", "Two");
  b.AddMaterial("blend", "Mix", MaterialClass::kBlend).Sub("one").Sub("two").Mask(BitmapMap(folder.Native("mask.bmp")));
  b.AddMaterial("unmasked", "Plain", MaterialClass::kBlend).Sub("one").Sub("two").Mask(BitmapMap(folder.Native("none.bmp")));
  b.AddNode("A").Material("blend");
  b.AddNode("B").Material("unmasked");
  ExportScene s(b);
  KT::CPointer<KT::CMaterial> converted = s.Context().ConvertMaterial(s.MaterialOf(0), 0);
  auto* blend = dynamic_cast<KT::CBlendMaterial*>(converted.Get());
  ASSERT_NE(blend, nullptr);
  EXPECT_EQ(blend->GetName(), u"Mix");
  ASSERT_NE(blend->GetMaterial(0), nullptr);
  ASSERT_NE(blend->GetMaterial(1), nullptr);
  EXPECT_EQ(blend->GetMaterial(0)->GetName(), u"One");
  EXPECT_EQ(blend->GetMaterial(1)->GetName(), u"Two");
  auto* mask = dynamic_cast<KT::CTextureMap*>(blend->GetMask());
  ASSERT_NE(mask, nullptr);
  EXPECT_NE(mask->GetImage(), nullptr);
  EXPECT_EQ(blend->Blend, 0.0f) << "the mix amount is not converted";

  KT::CPointer<KT::CMaterial> plain = s.Context().ConvertMaterial(s.MaterialOf(1), 0);
  auto* unmasked = dynamic_cast<KT::CBlendMaterial*>(plain.Get());
  ASSERT_NE(unmasked, nullptr);
  EXPECT_EQ(unmasked->GetMask(), nullptr) << "a mask whose file does not load is left out";
}

TEST(ConvertMaterial, NullAndUnsupportedClassesGiveNothing) {
  SceneBuilder b;
  b.AddNode("A");
  ExportScene s(b);
  EXPECT_FALSE(s.Context().ConvertMaterial(nullptr, 0));
  class OtherMtl : public Mtl {
   public:
    Class_ID ClassID() override { return Class_ID(0x1234, 0); }
    const TCHAR* GetName() override { return "Other"; }
  } other;
  EXPECT_FALSE(s.Context().ConvertMaterial(&other, 0));
  EXPECT_FALSE(s.Context().ConvertStandardMaterial(nullptr, 0));
}

// A standard material whose slots hold `maps`, converted at tick t.
struct SlotScene {
  TempFolder folder;
  SceneBuilder builder;
  std::string Bitmap() {
    folder.WriteFile("tex.bmp", KT::Testing::SmallBmp());
    return folder.Native("tex.bmp");
  }
};

TEST(ConvertStandardMaterial, OrdinarySlotsTakeTheirChannelWeightAndPlacement) {
  SlotScene f;
  const std::string file = f.Bitmap();
  KT::Host::MapDesc tiled = BitmapMap(file);
  tiled.bitmap->uTiling = 2.0f;
  tiled.bitmap->vTiling = 2.0f;
  auto material = f.builder.AddMaterial("m", "M");
  for (int slot : {1, 2, 4, 6, 9}) material.Slot(slot, 0.1f * static_cast<float>(slot), tiled);
  f.builder.AddNode("A").Material("m");
  ExportScene s(f.builder);
  KT::CPointer<KT::CMaterial> converted = s.Context().ConvertMaterial(s.MaterialOf(0), 0);
  auto* m = dynamic_cast<CStandardMaterial*>(converted.Get());
  ASSERT_NE(m, nullptr);
  for (KT::u32 channel : {1u, 2u, 4u, 6u, 9u}) {
    auto* map = dynamic_cast<KT::CTextureMap*>(m->GetTexture(channel));
    ASSERT_NE(map, nullptr) << channel;
    EXPECT_NE(map->GetImage(), nullptr);
    EXPECT_FLOAT_EQ(m->GetTextureWeight(channel), 0.1f * static_cast<float>(channel));
    EXPECT_EQ(m->GetTexUvScale(channel).x, 2.0f);
    EXPECT_EQ(m->GetTexUvTranslate(channel).x, -0.5f);
    EXPECT_EQ(m->GetTexUvTranslate(channel).y, -0.5f);
    EXPECT_EQ(m->GetTexUvRotate(channel), 0.0f);
  }
  EXPECT_EQ(m->GetTexture(CStandardMaterial::kCube), nullptr)
      << "a reflection map that does not answer the interface stays an ordinary slot";
  EXPECT_EQ(s.Context().textureCache.size(), 1u) << "one file, one image";
}

TEST(ConvertStandardMaterial, SlotsWithoutChannelAreNeverExported) {
  SlotScene f;
  const std::string file = f.Bitmap();
  KT::Host::MapDesc tiled = BitmapMap(file);
  tiled.bitmap->uTiling = 3.0f;
  auto material = f.builder.AddMaterial("m", "M");
  for (int slot : {0, 3, 5, 7, 11}) material.Slot(slot, 1.0f, tiled);
  f.builder.AddNode("A").Material("m");
  ExportScene s(f.builder);
  KT::CPointer<KT::CMaterial> converted = s.Context().ConvertMaterial(s.MaterialOf(0), 0);
  auto* m = dynamic_cast<CStandardMaterial*>(converted.Get());
  ASSERT_NE(m, nullptr);
  const CStandardMaterial defaults;
  for (KT::u32 channel = 0; channel < CStandardMaterial::kChannelCount; ++channel) {
    EXPECT_EQ(m->GetTexture(channel), nullptr) << channel;
    EXPECT_EQ(m->GetTexUvScale(channel), defaults.GetTexUvScale(channel)) << channel;
  }
  EXPECT_TRUE(s.Context().textureCache.empty()) << "no file was read";
}

TEST(ConvertStandardMaterial, ReflectionAnsweringTheInterfaceBecomesACubeMap) {
  SlotScene f;
  f.builder.AddMaterial("m", "M").Slot(9, 0.4f, ReflectionMap());
  f.builder.AddNode("A").Material("m");
  ExportScene s(f.builder);
  KT::CPointer<KT::CMaterial> converted = s.Context().ConvertMaterial(s.MaterialOf(0), 0);
  auto* m = dynamic_cast<CStandardMaterial*>(converted.Get());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->GetTexture(CStandardMaterial::kReflection), nullptr);
  ASSERT_NE(dynamic_cast<KT::CCubeMap*>(m->GetTexture(CStandardMaterial::kCube)), nullptr);
  EXPECT_FLOAT_EQ(m->GetTextureWeight(CStandardMaterial::kCube), 0.4f);
  const CStandardMaterial defaults;
  EXPECT_EQ(m->GetTexUvScale(CStandardMaterial::kCube), defaults.GetTexUvScale(CStandardMaterial::kCube));
  EXPECT_TRUE(s.Context().textureCache.empty()) << "a cube map has no image";
}

TEST(ConvertStandardMaterial, RefractionWeightIsTheAmountAtTickZero) {
  SlotScene f;
  const std::string file = f.Bitmap();
  f.builder.AddMaterial("m", "M")
      .Slot(10, 0.5f, BitmapMap(file))
      .Key("amount:10", 0, {0.3f})
      .Key("amount:10", 1600, {0.9f});
  f.builder.AddNode("A").Material("m");
  ExportScene s(f.builder);
  KT::CPointer<KT::CStandardMaterial> m =
      s.Context().ConvertStandardMaterial(dynamic_cast<StdMat*>(s.MaterialOf(0)), 1600);
  ASSERT_TRUE(m);
  auto* refraction = dynamic_cast<KT::CRefractionMap*>(m->GetTexture(CStandardMaterial::kRefraction));
  ASSERT_NE(refraction, nullptr);
  EXPECT_EQ(refraction->RefractionIndex, 0.95f);
  EXPECT_FLOAT_EQ(m->GetTextureWeight(CStandardMaterial::kRefraction), 0.3f);
  EXPECT_TRUE(s.Context().textureCache.empty()) << "the refraction map's file is not read";
}

TEST(ConvertStandardMaterial, NormalBumpWrapsItsNormalMap) {
  SlotScene f;
  const std::string file = f.Bitmap();
  KT::Host::MapDesc bump = NormalBumpMap(file, 2);
  bump.bitmap->vOffset = 0.25f;
  f.builder.AddMaterial("m", "M").Slot(8, 0.7f, bump);
  f.builder.AddMaterial("plain", "P").Slot(8, 0.6f, BitmapMap(file, 2));
  f.builder.AddMaterial("lost", "L").Slot(8, 0.6f, NormalBumpMap(f.folder.Native("lost.bmp")));
  f.builder.AddNode("A").Material("m");
  f.builder.AddNode("B").Material("plain");
  f.builder.AddNode("C").Material("lost");
  ExportScene s(f.builder);
  s.Context().uvChannels = {-1, 0, 1};

  KT::CPointer<KT::CMaterial> converted = s.Context().ConvertMaterial(s.MaterialOf(0), 0);
  auto* m = dynamic_cast<CStandardMaterial*>(converted.Get());
  ASSERT_NE(m, nullptr);
  auto* normalBump = dynamic_cast<KT::CNormalBumpTex*>(m->GetTexture(CStandardMaterial::kBump));
  ASSERT_NE(normalBump, nullptr);
  auto* normalMap = dynamic_cast<KT::CTextureMap*>(normalBump->GetNormalTexture());
  ASSERT_NE(normalMap, nullptr);
  EXPECT_NE(normalMap->GetImage(), nullptr);
  EXPECT_EQ(normalMap->GetUvwChannel(), 0u) << "a bump map always reads UV channel 0";
  EXPECT_EQ(normalBump->GetBumpTexture(), nullptr);
  EXPECT_FLOAT_EQ(m->GetTextureWeight(CStandardMaterial::kBump), 0.7f);
  EXPECT_EQ(m->GetTexUvTranslate(CStandardMaterial::kBump).y, 0.25f);

  converted = s.Context().ConvertMaterial(s.MaterialOf(1), 0);
  m = dynamic_cast<CStandardMaterial*>(converted.Get());
  ASSERT_NE(m, nullptr);
  auto* plain = dynamic_cast<KT::CTextureMap*>(m->GetTexture(CStandardMaterial::kBump));
  ASSERT_NE(plain, nullptr) << "a plain bitmap in the bump slot is an ordinary slot";
  EXPECT_EQ(plain->GetUvwChannel(), 0u);

  converted = s.Context().ConvertMaterial(s.MaterialOf(2), 0);
  m = dynamic_cast<CStandardMaterial*>(converted.Get());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->GetTexture(CStandardMaterial::kBump), nullptr);
  EXPECT_EQ(m->GetTextureWeight(CStandardMaterial::kBump), CStandardMaterial().GetTextureWeight(8));
}

TEST(ConvertTextureSlot, AFileThatDoesNotLoadLeavesTheChannelEmptyButKeepsThePlacement) {
  SlotScene f;
  KT::Host::MapDesc missing = BitmapMap(f.folder.Native("missing.bmp"));
  missing.bitmap->uOffset = 0.25f;
  f.builder.AddMaterial("m", "M").Slot(1, 0.5f, missing);
  f.builder.AddNode("A").Material("m");
  ExportScene s(f.builder);
  auto* host = dynamic_cast<StdMat*>(s.MaterialOf(0));
  ASSERT_NE(host, nullptr);
  KT::CPointer<KT::CStandardMaterial> m(new CStandardMaterial());
  const KT::Result r = s.Context().ConvertTextureSlot(host, m.Get(), 0, host->GetSubTexmap(1), 1);
  EXPECT_TRUE(KT::Failed(r));
  EXPECT_EQ(m->GetTexture(1), nullptr);
  EXPECT_EQ(m->GetTextureWeight(1), CStandardMaterial().GetTextureWeight(1));
  EXPECT_EQ(m->GetTexUvTranslate(1).x, -0.25f);
  EXPECT_EQ(m->GetTexUvScale(1).x, 1.0f);

  // A map of a class without file leaves the channel empty but places it.
  KT::Host::HostReflectionMap procedural;
  EXPECT_EQ(s.Context().ConvertTextureSlot(host, m.Get(), 0, &procedural, 2), KT::kDone);
  EXPECT_EQ(m->GetTexture(2), nullptr);
  EXPECT_EQ(s.Context().ConvertTextureSlot(nullptr, m.Get(), 0, &procedural, 2), KT::kErrInvalidArg);
  EXPECT_EQ(s.Context().ConvertTextureSlot(host, m.Get(), 0, &procedural, 3), KT::kErrInvalidArg)
      << "slot 3 has no channel";
}

}  // namespace
