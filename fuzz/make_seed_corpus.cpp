// Writes the seed corpus of the scene-file fuzzer: the small files the
// stream tests build, saved by the stream itself or laid out byte by byte
// where the writer cannot make them (older layouts, crafted records).
//
//   make_seed_corpus FOLDER
//
// The folder is created when missing; files of the same names are
// replaced. Ids are numbered from a fixed start, so a second run writes the
// same bytes. Exit status 0, or 1 with a one-line reason.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "environment/height_map.h"
#include "examples/sample_scene.h"
#include "library/register_library_classes.h"
#include "objectmodel/custom_data.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/raw_data.h"
#include "objectmodel/stream.h"
#include "objectmodel/version_data.h"
#include "platform/unique_id.h"
#include "render/images/image_factory.h"
#include "tests/objectmodel/byte_writer.h"
#include "tests/objectmodel/custom_scenes.h"

namespace {

using namespace KT;
using Bytes = std::vector<u8>;
using test::ByteWriter;

using test::CustomDataRecord;
using test::CustomScene;
using test::Header301;
using test::SceneParts;
using test::WithRoots;

Bytes Save(const SceneParts& parts) {
  Bytes bytes;
  test::SaveParts(parts, bytes);
  return bytes;
}

Bytes OneCustomDataRoot() {
  CPointer<CCustomData> root(new CCustomData());
  return Save({{root.Get()}, {}, {}, nullptr});
}

Bytes CustomChain() { return Save(CustomScene().Parts()); }

Bytes CustomChainWithThumbnail() {
  CustomScene scene;
  CPointer<CRawData> thumb(new CRawData());
  thumb->SetName(u"thumb");
  const u8 pixels[] = {0x42, 0x4D, 0, 0};
  thumb->SetData(sizeof(pixels), pixels);
  SceneParts parts = scene.Parts();
  parts.thumbnail = thumb.Get();
  return Save(parts);
}

Bytes RootReachedTwice() {
  CPointer<CCustomData> a(new CCustomData());
  CPointer<CCustomData> b(new CCustomData());
  a->SetName(u"a");
  b->SetName(u"b");
  a->SetNext(b.Get());
  return Save({{b.Get(), a.Get()}, {}, {}, nullptr});
}

Bytes SharedTail() {
  // Two roots whose chains meet in one record, written once.
  CPointer<CCustomData> a(new CCustomData());
  CPointer<CCustomData> b(new CCustomData());
  CPointer<CRawData> tail(new CRawData());
  const u8 data[] = {0xFF};
  tail->SetData(sizeof(data), data);
  a->SetNext(tail.Get());
  b->SetNext(tail.Get());
  return Save({{a.Get(), b.Get()}, {}, {}, nullptr});
}

Bytes NonRootFirst() {
  ByteWriter w = Header301();
  w.U32(128);
  CustomDataRecord(w, 0x20, 0);
  w.Str("_Root");
  CustomDataRecord(w, 0x10, 0x20);
  return w.Data();
}

Bytes UnresolvedNext() { return WithRoots({{0x10, 0x99}}); }

Bytes UnknownClass() {
  ByteWriter w = Header301();
  w.U32(64).Str("_Root").Str("CNoSuchClass").U32(36).Pair(2, 1).U64(5).U32(0).Pair(2, 3).U64(0);
  return w.Data();
}

Bytes RawDataWithoutBytes() {
  ByteWriter w = Header301();
  w.U32(80).Str("_Root").Str("CRawData").U32(52).Pair(2, 1).U64(5).U32(0).Pair(2, 3).U64(0);
  w.Pair(2, 0).U32(12).U32(0);
  return w.Data();
}

Bytes VersionDataPair201() {
  ByteWriter w = Header301();
  w.U32(1000).Str("_Root").Str("CVersionData").U32(0);
  const std::size_t start = w.Size();
  w.Pair(2, 1).U64(5).U32(0).Pair(2, 3).U64(0).Pair(2, 1).U32(0).U32(0).U32(1).U32(2);
  w.PatchU32(start - 4, static_cast<u32>(w.Size() - start));
  return w.Data();
}

Bytes LegacyHeader100() {
  ByteWriter w;
  w.Chars("KTDorun").Chars("abcdefghi1.00").U8(' ');
  return w.Data();
}

// The tagged layout of version 2.50: no thumbnail, one version record as
// extension, a root whose older record form queues an extra id.
Bytes Legacy250() {
  ByteWriter w;
  w.Chars("_KTVusk").Pair(2, 50);
  w.Str("");
  w.Str("_ExtendInfo").U32(1).Str("CVersionData");
  const std::size_t sizeAt = w.Size();
  w.U32(0);
  const std::size_t bodyStart = w.Size();
  w.Pair(2, 1).U64(0x31).WStr(u"ver").Pair(2, 1).U64(11).U64(12).U64(0).Pair(2, 3).U64(0);
  w.Pair(2, 0).WStr(u"app").WStr(u"").U32(9).U32(0xFFFFFFFFu);
  w.PatchU32(sizeAt, static_cast<u32>(w.Size() - bodyStart));
  w.Str("_DorunRoot").Str("CCustomData").U32(0);
  const std::size_t rootSizeAt = w.Size() - 4;
  const std::size_t rootStart = w.Size();
  w.Pair(2, 1).U64(0x41).WStr(u"r").Pair(1, 0).U32(0).Pair(2, 1).WStr(u"old").U32(1).U32(2).U64(0);
  w.PatchU32(rootSizeAt, static_cast<u32>(w.Size() - rootStart));
  return w.Data();
}

// The sample scene, which holds an object of every library class.
Bytes SampleScene() {
  CStream stream;
  CMemoryIo device;
  stream.SetDevice(&device);
  if (Failed(BuildSampleScene(stream)) || Failed(stream.Save(CStream::kAllSections))) return {};
  return device.TakeData();
}

// The first object named `name` under the sample's roots, or null.
CBase* FindInSample(CStream& sample, const char16_t* name) {
  for (u32 i = 0; i < sample.GetRootObjectCount(); ++i) {
    if (CBase* found = sample.GetRootObject(i)->Find(name, nullptr, false, false)) return found;
  }
  return nullptr;
}

Bytes Saved(CStream& stream, CMemoryIo& device) {
  if (Failed(stream.Save(CStream::kAllSections))) return {};
  return device.TakeData();
}

// One part of the sample saved as the only root (a small file of one class
// family: the keyframed arm with its meshes, the character with its clips,
// skin, morph and selection controllers, ...); `name` empty: the thumbnail
// alone.
Bytes SamplePart(const char16_t* name) {
  CStream sample;
  if (Failed(BuildSampleScene(sample)) || sample.GetRootObjectCount() == 0) return {};
  CStream stream;
  CMemoryIo device;
  stream.SetDevice(&device);
  if (name == nullptr) {
    stream.SetThumbnail(sample.GetThumbnail());
  } else {
    CBase* part = FindInSample(sample, name);
    if (part == nullptr) return {};
    stream.AddRootObject(part);
  }
  return Saved(stream, device);
}

// The sample's scene settings (terrain, sky, water, their HDR controller)
// with a height map of four samples instead of 513 x 513, so that the seed
// stays small; such a map loads with empty bounds.
Bytes SampleSettingsSmallTerrain() {
  CStream sample;
  if (Failed(BuildSampleScene(sample))) return {};
  auto* map = DynamicCast<CHeightMap>(FindInSample(sample, u"Terrain height"));
  CBase* settings = FindInSample(sample, u"Scene Settings");
  if (map == nullptr || settings == nullptr || Failed(map->Heights.Create(4))) return {};
  CStream stream;
  CMemoryIo device;
  stream.SetDevice(&device);
  stream.AddRootObject(settings);
  return Saved(stream, device);
}

// The sample's object and extension lists (its images, post effect, raw
// and version data) without a root tree.
Bytes SampleLists() {
  CStream sample;
  if (Failed(BuildSampleScene(sample))) return {};
  CStream stream;
  CMemoryIo device;
  stream.SetDevice(&device);
  for (u32 i = 0; i < sample.GetObjectCount(); ++i) stream.AddObject(sample.GetObject(i));
  for (u32 i = 0; i < sample.GetExtendInfoCount(); ++i) stream.AddExtendInfo(sample.GetExtendInfo(i));
  return Saved(stream, device);
}

struct Seed {
  const char* name;
  std::function<Bytes()> make;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seed_corpus FOLDER\n");
    return 1;
  }
  RegisterCustomDataClasses();
  ImageFactory::RegisterImageClasses();
  RegisterLibraryClasses();
  const std::filesystem::path folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    std::fprintf(stderr, "make_seed_corpus: cannot create %s: %s\n", argv[1], error.message().c_str());
    return 1;
  }
  const Seed seeds[] = {
      {"custom_data_root.drn", OneCustomDataRoot},
      {"custom_chain_lists.drn", CustomChain},
      {"custom_chain_thumbnail.drn", CustomChainWithThumbnail},
      {"root_reached_twice.drn", RootReachedTwice},
      {"shared_tail.drn", SharedTail},
      {"non_root_first.drn", NonRootFirst},
      {"unresolved_next.drn", UnresolvedNext},
      {"unknown_class.drn", UnknownClass},
      {"raw_data_without_bytes.drn", RawDataWithoutBytes},
      {"version_data_201.drn", VersionDataPair201},
      {"legacy_100_header.drn", LegacyHeader100},
      {"legacy_250.drn", Legacy250},
      {"duplicate_id.drn", [] { return WithRoots({{7, 0}, {7, 0}}); }},
      {"owning_cycle.drn", [] { return WithRoots({{7, 8}, {8, 9}, {9, 7}}); }},
      {"sample_scene.drn", SampleScene},
      {"family_keyframed_arm.drn", [] { return SamplePart(u"UpperArm"); }},
      {"family_grouped_mesh.drn", [] { return SamplePart(u"Sibling"); }},
      {"family_selection.drn", [] { return SamplePart(u"Switch"); }},
      {"family_character.drn", [] { return SamplePart(u"Character"); }},
      {"family_path.drn", [] { return SamplePart(u"Track"); }},
      {"family_mirror.drn", [] { return SamplePart(u"Mirror"); }},
      {"family_billboards.drn", [] { return SamplePart(u"Billboards"); }},
      {"family_thumbnail.drn", [] { return SamplePart(nullptr); }},
      {"family_sound_source.drn", [] { return SamplePart(u"Speaker"); }},
      {"family_sound_instance.drn", [] { return SamplePart(u"Chime"); }},
      {"family_shapes.drn", [] { return SamplePart(u"Shapes"); }},
      {"family_grove.drn", [] { return SamplePart(u"Grove"); }},
      {"family_meadow.drn", [] { return SamplePart(u"Meadow"); }},
      {"family_scene_settings.drn", SampleSettingsSmallTerrain},
      {"family_lists.drn", SampleLists},
  };
  for (const Seed& seed : seeds) {
    // The same ids on every run; every object of the previous seed is gone.
    ResetUniqueIDs(0x100);
    const Bytes bytes = seed.make();
    if (bytes.empty()) {
      std::fprintf(stderr, "make_seed_corpus: cannot build %s\n", seed.name);
      return 1;
    }
    std::ofstream out(folder / seed.name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "make_seed_corpus: cannot write %s\n", seed.name);
      return 1;
    }
  }
  std::printf("wrote %zu seeds to %s\n", std::size(seeds), argv[1]);
  return 0;
}
