#include <cstdio>
#include <unordered_set>
#include <vector>

#include "objectmodel/member_text_writer.h"
#include "tools/drn/commands.h"
#include "tools/drn/scene_file.h"

namespace drn {

namespace {

// Collects the objects an object owns, in the order it reports them.
class OwnedCollector : public KT::CReferenceVisitor {
 public:
  void Visit(KT::CBase* object, KT::u32 owned) override {
    if (object != nullptr && owned != 0) found.push_back(object);
  }
  std::vector<KT::CBase*> found;
};

// Prints `start` and everything it owns, each object once, depth first.
// The walk keeps its own stack, so long chains cost no call depth.
void DumpReachable(KT::CBase* start, std::unordered_set<const KT::CBase*>& printed) {
  std::vector<KT::CBase*> pending{start};
  while (!pending.empty()) {
    KT::CBase* object = pending.back();
    pending.pop_back();
    if (object == nullptr || !printed.insert(object).second) continue;
    std::fputs(KT::DescribeObject(*object, false, 1).c_str(), stdout);
    OwnedCollector owned;
    object->EnumReferences(owned);
    for (auto it = owned.found.rbegin(); it != owned.found.rend(); ++it) pending.push_back(*it);
  }
}

}  // namespace

int RunDump(int argc, char** argv) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: drn dump FILE\n");
    return 2;
  }
  LoadedScene scene;
  const KT::Result r = LoadSceneFile(argv[0], 0x1E, 0x1F, scene);
  const KT::CStream& stream = scene.stream;
  std::unordered_set<const KT::CBase*> printed;
  if (KT::CBase* thumbnail = stream.GetThumbnail()) {
    std::printf("thumbnail\n");
    DumpReachable(thumbnail, printed);
  }
  for (KT::u32 i = 0; i < stream.GetObjectCount(); ++i) {
    std::printf("object [%u]\n", i);
    DumpReachable(stream.GetObject(i), printed);
  }
  for (KT::u32 i = 0; i < stream.GetExtendInfoCount(); ++i) {
    std::printf("extension [%u]\n", i);
    DumpReachable(stream.GetExtendInfo(i), printed);
  }
  for (KT::u32 i = 0; i < stream.GetRootObjectCount(); ++i) {
    std::printf("root [%u]\n", i);
    DumpReachable(stream.GetRootObject(i), printed);
  }
  return FinishWithResult(r);
}

}  // namespace drn
