#include <cstdio>
#include <map>
#include <string>

#include "render/images/thumbnail.h"
#include "scene/member_text_writer.h"
#include "tools/drn/commands.h"
#include "tools/drn/scene_file.h"

namespace drn {

namespace {

void PrintList(const char* title, KT::u32 count, KT::CBase* (KT::CStream::*get)(KT::u32) const,
               const KT::CStream& stream) {
  std::printf("%s: %u\n", title, count);
  for (KT::u32 i = 0; i < count; ++i) {
    std::printf("  [%u] %s\n", i, KT::DescribeReference((stream.*get)(i)).c_str());
  }
}

}  // namespace

int RunInfo(int argc, char** argv) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: drn info FILE\n");
    return 2;
  }
  LoadedScene scene;
  const KT::Result r = LoadSceneFile(argv[0], 0x1E, 0x1F, scene);
  const KT::CStream& stream = scene.stream;
  const KT::i32 version = stream.GetFileVersion();
  std::printf("file version %d.%02d\n", version / 100, version % 100);
  const auto& sizes = stream.GetLoadedSectionSizes();
  if (version >= KT::CStream::kFirstSectionedVersion) {
    std::printf("sections: thumbnail %u, objects %u, extensions %u, root tree %u\n", sizes[0], sizes[1],
                sizes[2], sizes[3]);
  } else {
    std::printf("sections: tagged layout (no sizes)\n");
  }
  KT::CBase* thumbnail = stream.GetThumbnail();
  if (const KT::CThumbnail* thumb = KT::DynamicCast<KT::CThumbnail>(thumbnail)) {
    std::printf("thumbnail: %s %d x %d\n", thumb->GetClassRecord().name, thumb->GetImage().Width,
                thumb->GetImage().Height);
  } else if (thumbnail != nullptr) {
    std::printf("thumbnail: %s\n", thumbnail->GetClassRecord().name);
  } else {
    std::printf("thumbnail: none\n");
  }
  PrintList("objects", stream.GetObjectCount(), &KT::CStream::GetObject, stream);
  PrintList("extensions", stream.GetExtendInfoCount(), &KT::CStream::GetExtendInfo, stream);
  PrintList("roots", stream.GetRootObjectCount(), &KT::CStream::GetRootObject, stream);
  std::map<std::string, KT::u32> counts;
  for (const auto& object : stream.GetLoadedObjects()) ++counts[object->GetClassRecord().name];
  std::printf("loaded objects: %zu\n", stream.GetLoadedObjects().size());
  for (const auto& [name, count] : counts) std::printf("  %s %u\n", name.c_str(), count);
  return FinishWithResult(r);
}

}  // namespace drn
