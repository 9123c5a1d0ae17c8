// Materials and textures: the abstract roots, the standard material, the
// texture maps, the blend texture and the blend and multi materials: their
// defaults, copies, sub-object walks, forwarding of the material operations
// and the older record forms.
#include <gtest/gtest.h>

#include <vector>

#include "controllers/core/test_classes.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream_test_support.h"
#include "render/images/image.h"
#include "render/materials/blend_texture.h"
#include "render/materials/compound_materials.h"
#include "render/materials/standard_material.h"
#include "render/materials/texture_maps.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using Vec = CVector3<float>;

constexpr std::size_t kFirstRecordOffset = 40;

class MaterialsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CStandardMaterial", &CreateObject<CStandardMaterial>);
    CClassFactory::Register("CBlendMaterial", &CreateObject<CBlendMaterial>);
    CClassFactory::Register("CMultiMaterial", &CreateObject<CMultiMaterial>);
    CClassFactory::Register("CTextureMap", &CreateObject<CTextureMap>);
    CClassFactory::Register("CNormalBumpTex", &CreateObject<CNormalBumpTex>);
    CClassFactory::Register("CCubeMap", &CreateObject<CCubeMap>);
    CClassFactory::Register("CRefractionMap", &CreateObject<CRefractionMap>);
    CClassFactory::Register("CBlendTex", &CreateObject<CBlendTex>);
    test::UseTestIds(0);
  }
};

// The levels below a material's own: CBase, CDorun, CMaterialBase, and
// CMaterial or CTexture at `minor`/`major` (2.00 unless said).
ByteWriter SurfaceHead(u64 id, u32 levelMajor = 2) {
  ByteWriter w;
  test::BasePart(w, id);
  test::DorunPart(w, 0);
  w.Pair(2, 0).Pair(levelMajor, 0);
  return w;
}

// Loads a file whose records are `records` (the first is the root) and
// answers the root as a T; every prefix of the file must fail.
struct Loaded {
  CStream stream;
  CMemoryIo device;
  Result result = kErrStream;
};
template <typename T>
T* LoadRoot(Loaded& loaded, const std::vector<std::pair<const char*, ByteWriter>>& records, bool sweep = true) {
  test::SceneImage image;
  for (std::size_t i = 0; i < records.size(); ++i) image.Record(records[i].first, records[i].second, i == 0);
  const Bytes file = image.Data();
  loaded.result = test::LoadScene(file, loaded.stream, loaded.device);
  if (sweep) test::ExpectPrefixesFailBetweenRecords(file, kFirstRecordOffset);
  return DynamicCast<T>(loaded.stream.GetRootObject(0));
}

// The own level of a standard material stored at 2.`minor` (or 1.00 when
// `minor` is negative) with `count` channels; texture ids are `ids`.
ByteWriter StandardLevel(int minor, u32 count, const std::vector<u64>& ids = {}) {
  const u32 v = minor < 0 ? 100 : 200 + static_cast<u32>(minor);
  ByteWriter w;
  if (minor < 0) {
    w.Pair(1, 0).U8(1);
  } else {
    w.Pair(2, static_cast<u32>(minor));
  }
  for (int c = 0; c < 4; ++c) w.F32(0.1f * static_cast<f32>(c + 1)).F32(0).F32(0);
  for (int f = 0; f < 10; ++f) w.F32(static_cast<f32>(f));
  if (v >= 200) w.U8(1);
  w.U32(count);
  for (u32 i = 0; i < count; ++i) {
    const u64 id = i < ids.size() ? ids[i] : 0;
    if (v > 201) {
      w.U64(id);
    } else {
      w.U32(static_cast<u32>(id));
    }
  }
  if (v >= 200) {
    for (u32 i = 0; i < count; ++i) w.F32(0.5f);
  }
  if (v >= 201) {
    for (u32 i = 0; i < count; ++i) w.F32(1).F32(2);
    for (u32 i = 0; i < count; ++i) w.F32(3).F32(4);
  }
  if (v >= 203) w.U32(CStandardMaterial::TBT_Add);
  if (v >= 204) {
    for (u32 i = 0; i < count; ++i) w.F32(0.25f);
  }
  if (v >= 205) w.U8(1).F32(0.75f);
  if (v >= 206) w.F32(0.9f);
  return w;
}

ByteWriter StandardRecord(u64 id, int minor, u32 count, const std::vector<u64>& ids = {}) {
  ByteWriter w = SurfaceHead(id);
  w.Bytes(StandardLevel(minor, count, ids).Data());
  return w;
}

ByteWriter TextureMapRecord(u64 id, u32 textureMinor, u32 major, u32 minor, u32 channel) {
  ByteWriter w;
  test::BasePart(w, id);
  test::DorunPart(w, 0);
  w.Pair(2, 0);
  if (textureMinor == 100) {
    w.Pair(1, 0).U8(1);
  } else {
    w.Pair(2, 0);
  }
  w.Pair(major, minor).U32(channel);
  if (major * 100 + minor > 200) {
    w.U64(0);
  } else {
    w.U32(0);
  }
  return w;
}

TEST_F(MaterialsTest, RootsAreAbstractAndPlainTexturesAreAlwaysValid) {
  CStandardMaterial material;
  CCubeMap cube;
  CPointer<CBase> out;
  EXPECT_EQ(material.CMaterial::CreateInstance(out), kErrInvalidArg);
  EXPECT_EQ(cube.CTexture::CreateInstance(out), kErrInvalidArg);
  EXPECT_EQ(cube.CMaterialBase::CreateInstance(out), kErrInvalidArg);
  EXPECT_FALSE(out);
  for (const ClassRecord* record :
       {&CMaterialBase::StaticClassRecord(), &CMaterial::StaticClassRecord(), &CTexture::StaticClassRecord()}) {
    EXPECT_EQ(record->Version(), 200u) << record->name;
  }
  cube.Invalidate();
  EXPECT_TRUE(cube.IsValid());
  cube.Validate();
  EXPECT_TRUE(cube.IsValid());
  EXPECT_FALSE(cube.IsModified());
}

TEST_F(MaterialsTest, StandardMaterialDefaults) {
  CStandardMaterial m;
  EXPECT_EQ(m.Diffuse, Vec(0.8f, 0.0f, 0.0f));
  EXPECT_EQ(m.Ambient, Vec(0.2f, 0.2f, 0.2f));
  EXPECT_EQ(m.Specular, Vec(0.5f, 0.5f, 0.5f));
  EXPECT_EQ(m.Shininess, 0.5f);
  EXPECT_EQ(m.ShineStrength, 1.0f);
  EXPECT_EQ(m.Opacity, 1.0f);
  EXPECT_EQ(m.AlphaRefValue, 0.5f);
  EXPECT_EQ(m.ShadowRefValue, 0.0f);
  EXPECT_FALSE(m.IsValid());
  EXPECT_EQ(m.GetChannelCount(), 12u);
  for (u32 i = 0; i < 12; ++i) {
    EXPECT_EQ(m.GetTextureWeight(i), 1.0f);
    EXPECT_EQ(m.GetTexUvScale(i).x, 1.0f);
    EXPECT_EQ(m.GetTexUvTranslate(i).y, 0.0f);
  }
  EXPECT_FALSE(m.HasSubObjects());
  // Own level: 498 bytes with twelve channels.
  EXPECT_EQ(m.GetSaveSize() - m.CMaterial::GetSaveSize(), 498u);
  m.Validate();
  EXPECT_TRUE(m.IsValid());
  m.Invalidate();
  EXPECT_FALSE(m.IsValid());
}

TEST_F(MaterialsTest, StandardMaterialCopiesShareOrCloneTheTextures) {
  CPointer<CStandardMaterial> source(new CStandardMaterial());
  CPointer<CTextureMap> map(new CTextureMap());
  source->SetTexture(CStandardMaterial::kBump, map.Get());
  source->Opacity = 0.25f;
  source->Validate();
  EXPECT_TRUE(source->HasSubObjects());

  CPointer<CBase> instance;
  ASSERT_EQ(source->CreateInstance(instance), kOk);
  auto* copy = DynamicCast<CStandardMaterial>(instance.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetTexture(CStandardMaterial::kBump), map.Get());
  EXPECT_EQ(copy->Opacity, 0.25f);

  CloneMap cloneMap;
  CPointer<CBase> cloned;
  ASSERT_EQ(source->Clone(cloned, cloneMap, 0), kOk);
  auto* clone = DynamicCast<CStandardMaterial>(cloned.Get());
  ASSERT_NE(clone, nullptr);
  ASSERT_NE(clone->GetTexture(CStandardMaterial::kBump), nullptr);
  EXPECT_NE(clone->GetTexture(CStandardMaterial::kBump), map.Get());
  EXPECT_EQ(cloneMap.at(map.Get()).Get(), clone->GetTexture(CStandardMaterial::kBump));

  CPointer<CStandardMaterial> target(new CStandardMaterial());
  CPointer<CCubeMap> former(new CCubeMap());
  target->SetTexture(CStandardMaterial::kBump, former.Get());
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetTexture(CStandardMaterial::kBump), map.Get());
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0].Get(), former.Get());
  EXPECT_FALSE(target->IsValid()) << "Valid is not copied";
  EXPECT_EQ(target->Opacity, 0.25f);
  CCubeMap cube;
  EXPECT_EQ(source->CopyTo(&cube, displaced, 0), kErrNotFound);
}

TEST_F(MaterialsTest, StandardMaterialWalksIntoItsTextures) {
  CPointer<CStandardMaterial> m(new CStandardMaterial());
  CPointer<CTextureMap> map(new CTextureMap());
  CPointer<CImage> image(new CImage());
  image->SetName(u"picture");
  map->SetImage(image.Get());
  m->SetTexture(CStandardMaterial::kDiffuse, map.Get());
  EXPECT_EQ(m->Find(u"picture", nullptr, false, false), image.Get());
  std::vector<CBase*> all;
  m->Collect(all, nullptr, nullptr, false, false);
  EXPECT_EQ(all, (std::vector<CBase*>{m.Get(), map.Get(), image.Get()}));
  EXPECT_TRUE(m->UpdateMarked({image.Get()}));
  EXPECT_TRUE(m->IsMarked());
  EXPECT_TRUE(map->IsMarked());
  m->ClearMarked();
  EXPECT_FALSE(image->IsMarked());
  EXPECT_EQ(m->ResolveReferences(nullptr), kErrInvalidArg);
}

TEST_F(MaterialsTest, StandardMaterialRecordsOfEveryVersionLoad) {
  struct Row {
    int minor;  // -1: a 1.00 record
    bool uv;
    bool blend;
    bool rotate;
    bool alpha;
    f32 shadow;
  };
  const Row rows[] = {
      {-1, false, false, false, false, 0.2f}, {0, false, false, false, false, 0.2f},
      {1, true, false, false, false, 0.2f},   {2, true, false, false, false, 0.2f},
      {3, true, true, false, false, 0.2f},    {4, true, true, true, false, 0.2f},
      {5, true, true, true, true, 0.2f},      {6, true, true, true, true, 0.9f},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.minor);
    Loaded loaded;
    ByteWriter map = TextureMapRecord(0x20, 200, 2, 1, 0);
    auto* m = LoadRoot<CStandardMaterial>(loaded, {{"CStandardMaterial", StandardRecord(0x10, row.minor, 12, {0, 0x20})},
                                                   {"CTextureMap", map}});
    ASSERT_EQ(loaded.result, kOk);
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(m->TwoSided);
    EXPECT_EQ(m->Ambient, Vec(0.1f, 0, 0));
    EXPECT_EQ(m->SoftThresh, 9.0f);
    EXPECT_NE(DynamicCast<CTextureMap>(m->GetTexture(1)), nullptr);
    EXPECT_EQ(m->GetTexture(0), nullptr);
    if (row.minor < 0) {
      EXPECT_EQ(m->GetTextureWeight(CStandardMaterial::kGlow), 0.2f);
      EXPECT_EQ(m->GetTextureWeight(CStandardMaterial::kRefraction), 0.0f);
      EXPECT_EQ(m->GetTextureWeight(CStandardMaterial::kAmbient), 1.0f);
    } else {
      EXPECT_EQ(m->GetTextureWeight(CStandardMaterial::kGlow), 0.5f);
    }
    EXPECT_EQ(m->GetTexUvTranslate(3).y, row.uv ? 2.0f : 0.0f);
    EXPECT_EQ(m->GetTexUvScale(3).x, row.uv ? 3.0f : 1.0f);
    EXPECT_EQ(m->DiffTexBlend, row.blend ? CStandardMaterial::TBT_Add : CStandardMaterial::TBT_Modulate);
    EXPECT_EQ(m->GetTexUvRotate(5), row.rotate ? 0.25f : 0.0f);
    EXPECT_EQ(m->AlphaThreshold, row.alpha);
    EXPECT_EQ(m->AlphaRefValue, row.alpha ? 0.75f : 0.5f);
    EXPECT_EQ(m->ShadowRefValue, row.shadow);
    EXPECT_FALSE(m->IsValid());
  }
}

TEST_F(MaterialsTest, StandardMaterialChannelCounts) {
  // Fewer channels fill the first ones; the count is twelve after linking.
  Loaded few;
  auto* m = LoadRoot<CStandardMaterial>(few, {{"CStandardMaterial", StandardRecord(0x10, 6, 3)}});
  ASSERT_EQ(few.result, kOk);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->GetChannelCount(), 12u);
  EXPECT_EQ(m->GetTextureWeight(2), 0.5f);
  EXPECT_EQ(m->GetTextureWeight(3), 1.0f);
  EXPECT_EQ(m->GetSaveSize() - m->CMaterial::GetSaveSize(), 498u);
  // More than twelve do not fit the channels: refused.
  Loaded many;
  LoadRoot<CStandardMaterial>(many, {{"CStandardMaterial", StandardRecord(0x10, 6, 13)}}, false);
  EXPECT_EQ(many.result, kErrInvalidArg);
}

TEST_F(MaterialsTest, TextureRecordsOfOlderVersionsLoad) {
  // Below 2.00 the texture level has one more byte and the channel counts from 1.
  Loaded old;
  auto* map = LoadRoot<CTextureMap>(old, {{"CTextureMap", TextureMapRecord(0x10, 100, 1, 0, 1)}});
  ASSERT_EQ(old.result, kOk);
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->GetUvwChannel(), 0u);
  Loaded narrow;
  map = LoadRoot<CTextureMap>(narrow, {{"CTextureMap", TextureMapRecord(0x10, 200, 2, 0, 1)}});
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->GetUvwChannel(), 1u);

  // A normal-bump flag byte of 2 reads as set.
  ByteWriter bump;
  test::BasePart(bump, 0x10);
  test::DorunPart(bump, 0);
  bump.Pair(2, 0).Pair(2, 0).Pair(2, 1).U8(2).U8(0).F32(3).F32(4).U64(0).U64(0);
  Loaded bumpLoaded;
  auto* nb = LoadRoot<CNormalBumpTex>(bumpLoaded, {{"CNormalBumpTex", bump}});
  ASSERT_NE(nb, nullptr);
  EXPECT_TRUE(nb->NormalEnable);
  EXPECT_FALSE(nb->BumpEnable);
  EXPECT_EQ(nb->BumpScale, 4.0f);
}

TEST_F(MaterialsTest, TextureMapCopies) {
  CPointer<CTextureMap> map(new CTextureMap());
  CPointer<CImage> image(new CImage());
  map->SetUvwChannel(3);
  map->SetImage(image.Get());
  CPointer<CBase> out;
  ASSERT_EQ(map->CreateInstance(out), kOk);
  auto* instance = DynamicCast<CTextureMap>(out.Get());
  EXPECT_EQ(instance->GetUvwChannel(), 3u);
  EXPECT_EQ(instance->GetImage(), nullptr);
  CloneMap cloneMap;
  ASSERT_EQ(map->Clone(out, cloneMap, 0), kOk);
  auto* clone = DynamicCast<CTextureMap>(out.Get());
  ASSERT_NE(clone->GetImage(), nullptr);
  EXPECT_NE(clone->GetImage(), image.Get());
  CPointer<CTextureMap> a(new CTextureMap());
  CPointer<CTextureMap> b(new CTextureMap());
  DisplacedList displaced;
  ASSERT_EQ(map->CopyTo(a.Get(), displaced, 0), kOk);
  ASSERT_EQ(map->CopyTo(b.Get(), displaced, 0), kOk);
  EXPECT_EQ(a->GetImage(), b->GetImage());
  EXPECT_EQ(map->CopyTo(CPointer<CCubeMap>(new CCubeMap()).Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(CRefractionMap().RefractionIndex, 0.95f);
}

TEST_F(MaterialsTest, BlendTextureKeepsWeightsOnInstanceAndTexturesOnClone) {
  CPointer<CBlendTex> blend(new CBlendTex());
  EXPECT_FALSE(blend->HasSubObjects());
  blend->Weight1 = 0.5f;
  CPointer<CTextureMap> first(new CTextureMap());
  blend->SetTexture(0, first.Get());
  CPointer<CBase> out;
  ASSERT_EQ(blend->CreateInstance(out), kOk);
  auto* instance = DynamicCast<CBlendTex>(out.Get());
  EXPECT_EQ(instance->Weight1, 0.5f);
  EXPECT_EQ(instance->GetTexture(0), nullptr);
  CloneMap cloneMap;
  ASSERT_EQ(blend->Clone(out, cloneMap, 0), kOk);
  EXPECT_NE(DynamicCast<CBlendTex>(out.Get())->GetTexture(0), nullptr);
  EXPECT_NE(DynamicCast<CBlendTex>(out.Get())->GetTexture(0), first.Get());
}

TEST_F(MaterialsTest, CompoundMaterialsForwardTheMaterialOperations) {
  CPointer<CStandardMaterial> a(new CStandardMaterial());
  CPointer<CStandardMaterial> b(new CStandardMaterial());
  CPointer<CStandardMaterial> c(new CStandardMaterial());
  CPointer<CBlendMaterial> blend(new CBlendMaterial());
  blend->SetMaterial(0, a.Get());
  blend->SetMaterial(7, b.Get());
  EXPECT_EQ(blend->GetMaterial(1), b.Get());
  EXPECT_FALSE(blend->IsModified());
  CPointer<CMultiMaterial> multi(new CMultiMaterial());
  multi->AddSubMaterial(blend.Get());
  multi->AddSubMaterial(c.Get());
  multi->SetModified(false);
  multi->AddSubMaterial(nullptr);
  EXPECT_EQ(multi->GetSubMaterialCount(), 2u);
  EXPECT_FALSE(multi->IsModified());

  multi->Validate();
  for (CStandardMaterial* m : {a.Get(), b.Get(), c.Get()}) EXPECT_TRUE(m->IsValid());
  EXPECT_TRUE(multi->IsValid());
  multi->Invalidate();
  for (CStandardMaterial* m : {a.Get(), b.Get(), c.Get()}) EXPECT_FALSE(m->IsValid());

  // Only material 1 set: its answer.
  CPointer<CBlendMaterial> half(new CBlendMaterial());
  EXPECT_TRUE(half->IsValid());
  half->SetMaterial(1, c.Get());
  EXPECT_FALSE(half->IsValid());
  c->Validate();
  EXPECT_TRUE(half->IsValid());

  CPointer<CBase> out;
  ASSERT_EQ(multi->CreateInstance(out), kOk);
  EXPECT_EQ(DynamicCast<CMultiMaterial>(out.Get())->GetSubMaterialCount(), 0u);
  CloneMap cloneMap;
  ASSERT_EQ(multi->Clone(out, cloneMap, 0), kOk);
  auto* clone = DynamicCast<CMultiMaterial>(out.Get());
  ASSERT_EQ(clone->GetSubMaterialCount(), 2u);
  EXPECT_EQ(clone->GetSubMaterial(0), cloneMap.at(blend.Get()).Get());
  EXPECT_EQ(clone->GetSubMaterial(1), cloneMap.at(c.Get()).Get());
}

TEST_F(MaterialsTest, BlendMaterialWalkOrders) {
  CPointer<CBlendMaterial> blend(new CBlendMaterial());
  CPointer<CStandardMaterial> m0(new CStandardMaterial());
  CPointer<CStandardMaterial> m1(new CStandardMaterial());
  CPointer<CTextureMap> mask(new CTextureMap());
  blend->SetMaterial(0, m0.Get());
  blend->SetMaterial(1, m1.Get());
  blend->SetMask(mask.Get());
  std::vector<CBase*> all;
  blend->Collect(all, nullptr, nullptr, false, false);
  EXPECT_EQ(all, (std::vector<CBase*>{m0.Get(), m1.Get(), blend.Get(), mask.Get()}));
  EXPECT_EQ(blend->Find(nullptr, &CMaterial::StaticClassRecord(), true, false), blend.Get());
  EXPECT_EQ(blend->Find(nullptr, &CTexture::StaticClassRecord(), true, false), mask.Get());
  EXPECT_EQ(blend->Find(nullptr, &CStandardMaterial::StaticClassRecord(), false, false), m0.Get());
  // Invalidate leaves the mask alone (a texture ignores it anyway).
  EXPECT_TRUE(blend->HasSubObjects());
}

// The own levels of blend and multi materials stored at 1.00 carry one
// legacy byte and 4-byte ids.
TEST_F(MaterialsTest, OlderBlendAndMultiRecordsLoad) {
  ByteWriter blend = SurfaceHead(0x10);
  blend.Pair(1, 0).U8(1).F32(0.75f).U32(0).U32(0x20).U32(0);
  Loaded blendLoaded;
  auto* b = LoadRoot<CBlendMaterial>(blendLoaded, {{"CBlendMaterial", blend}, {"CStandardMaterial", StandardRecord(0x20, 6, 12)}});
  ASSERT_EQ(blendLoaded.result, kOk);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Blend, 0.75f);
  EXPECT_NE(DynamicCast<CStandardMaterial>(b->GetMaterial(0)), nullptr);
  EXPECT_EQ(b->GetMaterial(1), nullptr);

  ByteWriter multi = SurfaceHead(0x10);
  multi.Pair(1, 0).U8(0).U32(2).U32(0x20).U32(0x30);
  Loaded multiLoaded;
  auto* m = LoadRoot<CMultiMaterial>(multiLoaded, {{"CMultiMaterial", multi},
                                                   {"CStandardMaterial", StandardRecord(0x20, 6, 12)},
                                                   {"CStandardMaterial", StandardRecord(0x30, 6, 12)}});
  ASSERT_EQ(multiLoaded.result, kOk);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->GetSubMaterialCount(), 2u);
  EXPECT_NE(m->GetSubMaterial(1), nullptr);
}

// A multi material whose ids include the null id or an id that links to
// nothing keeps those entries empty (later entries keep their positions),
// every walk skips them, and saving writes the null id back.
TEST_F(MaterialsTest, MultiMaterialKeepsEmptyEntriesInPlace) {
  ByteWriter multi = SurfaceHead(0x10);
  multi.Pair(2, 1).U32(3).U64(0).U64(0x99).U64(0x20);
  Loaded loaded;
  auto* m = LoadRoot<CMultiMaterial>(loaded, {{"CMultiMaterial", multi}, {"CStandardMaterial", StandardRecord(0x20, 6, 12)}});
  ASSERT_GE(loaded.result, 0);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->GetSubMaterialCount(), 3u);
  EXPECT_EQ(m->GetSubMaterial(0), nullptr);
  EXPECT_EQ(m->GetSubMaterial(1), nullptr);
  auto* last = DynamicCast<CStandardMaterial>(m->GetSubMaterial(2));
  ASSERT_NE(last, nullptr);
  m->Validate();
  EXPECT_TRUE(last->IsValid());
  EXPECT_TRUE(m->IsValid());
  m->Invalidate();
  EXPECT_FALSE(m->IsValid());
  std::vector<CBase*> all;
  m->Collect(all, nullptr, nullptr, false, false);
  EXPECT_EQ(all, (std::vector<CBase*>{m, last}));
  EXPECT_EQ(m->Find(u"nothing", nullptr, false, false), nullptr);
  EXPECT_TRUE(m->UpdateMarked({last}));
  m->ClearMarked();
  EXPECT_GE(m->ResolveReferences(m), 0);
  std::vector<CDorun*> animated;
  EXPECT_GE(m->CollectAnimated(animated), 0);
  CloneMap cloneMap;
  CPointer<CBase> out;
  ASSERT_EQ(m->Clone(out, cloneMap, 0), kOk);
  auto* clone = DynamicCast<CMultiMaterial>(out.Get());
  ASSERT_EQ(clone->GetSubMaterialCount(), 3u);
  EXPECT_EQ(clone->GetSubMaterial(1), nullptr);
  EXPECT_EQ(clone->GetSubMaterial(2), cloneMap.at(last).Get());
  const Bytes saved = test::SaveObjectRecord(*m);
  ASSERT_EQ(saved.size(), m->GetSaveSize());
  // The list is the record's tail: three ids, the first two null.
  const std::size_t tail = saved.size() - 24;
  for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(saved[tail + i], 0u) << i;
}

}  // namespace
}  // namespace KT
