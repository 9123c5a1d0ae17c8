#include <cstdio>
#include <string>
#include <unordered_set>
#include <vector>

#include "scene/member_text_writer.h"
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

// Appends `start` and everything it owns, each object once, depth first.
// The walk keeps its own stack, so long chains cost no call depth.
void DumpReachable(KT::CBase* start, std::unordered_set<const KT::CBase*>& printed, std::string& out) {
  std::vector<KT::CBase*> pending{start};
  while (!pending.empty()) {
    KT::CBase* object = pending.back();
    pending.pop_back();
    if (object == nullptr || !printed.insert(object).second) continue;
    out += KT::DescribeObject(*object, false, 1);
    OwnedCollector owned;
    object->EnumReferences(owned);
    for (auto it = owned.found.rbegin(); it != owned.found.rend(); ++it) pending.push_back(*it);
  }
}

std::string Heading(const char* title, std::size_t index) { return std::string(title) + " [" + std::to_string(index) + "]\n"; }

}  // namespace

std::string DumpSceneText(const KT::CStream& stream) {
  std::string out;
  std::unordered_set<const KT::CBase*> printed;
  if (KT::CBase* thumbnail = stream.GetThumbnail()) {
    out += "thumbnail\n";
    DumpReachable(thumbnail, printed, out);
  }
  for (KT::u32 i = 0; i < stream.GetObjectCount(); ++i) {
    out += Heading("object", i);
    DumpReachable(stream.GetObject(i), printed, out);
  }
  for (KT::u32 i = 0; i < stream.GetExtendInfoCount(); ++i) {
    out += Heading("extension", i);
    DumpReachable(stream.GetExtendInfo(i), printed, out);
  }
  for (KT::u32 i = 0; i < stream.GetRootObjectCount(); ++i) {
    out += Heading("root", i);
    DumpReachable(stream.GetRootObject(i), printed, out);
  }
  // Objects the root tree holds that no owning reference from a root
  // reaches: a geometry's bone boxes, records that only plain references
  // name, records nothing names.
  const std::vector<KT::CPointer<KT::CBase>>& loaded = stream.GetLoadedObjects();
  for (std::size_t i = 0; i < loaded.size(); ++i) {
    if (printed.count(loaded[i].Get()) != 0) continue;
    out += Heading("record", i);
    DumpReachable(loaded[i].Get(), printed, out);
  }
  return out;
}

int RunDump(int argc, char** argv) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: drn dump FILE\n");
    return 2;
  }
  LoadedScene scene;
  const KT::Result r = LoadSceneFile(argv[0], 0x1E, 0x1F, scene);
  std::fputs(DumpSceneText(scene.stream).c_str(), stdout);
  return FinishWithResult(r);
}

}  // namespace drn
