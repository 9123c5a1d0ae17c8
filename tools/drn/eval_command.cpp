#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "scene/member_text_writer.h"
#include "objectmodel/string_helpers.h"
#include "platform/crt_random.h"
#include "scene/sel_node.h"
#include "scene/spatial.h"
#include "tools/drn/commands.h"
#include "tools/drn/scene_file.h"

namespace drn {

namespace {

bool ParseTime(const char* text, KT::i32& time) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < INT32_MIN || value > INT32_MAX) return false;
  time = static_cast<KT::i32>(value);
  return true;
}

// The spatials of the subtree in the order the transform pass updated them:
// ascending update depth, collection order among equals. A selection node
// updates its selected child's subtree itself; those spatials follow the
// node, and the children it did not select are not listed.
std::vector<KT::CSpatial*> UpdateOrder(KT::CSpatial& root) {
  std::vector<KT::CSpatial*> spatials;
  root.CollectSpatials(spatials);
  std::stable_sort(spatials.begin(), spatials.end(), [](const KT::CSpatial* a, const KT::CSpatial* b) {
    return a->GetCachedUpdateDepth() < b->GetCachedUpdateDepth();
  });
  std::vector<KT::CSpatial*> ordered = spatials;
  for (std::size_t i = 0; i < ordered.size(); ++i) {
    const KT::CSelNode* selection = KT::DynamicCast<KT::CSelNode>(ordered[i]);
    if (selection == nullptr) continue;
    const KT::i32 used = selection->GetUsedChild();
    if (used < 0 || static_cast<KT::u32>(used) >= selection->GetChildCount()) continue;
    std::vector<KT::CSpatial*> inner;
    selection->GetChild(static_cast<KT::u32>(used))->CollectSpatials(inner);
    ordered.insert(ordered.begin() + static_cast<std::ptrdiff_t>(i) + 1, inner.begin(), inner.end());
  }
  return ordered;
}

}  // namespace

int RunEval(int argc, char** argv) {
  std::vector<KT::i32> times;
  for (int i = 1; i < argc; ++i) {
    KT::i32 t = 0;
    if (!ParseTime(argv[i], t)) {
      std::fprintf(stderr, "drn eval: '%s' is not a time in milliseconds\n", argv[i]);
      return 2;
    }
    times.push_back(t);
  }
  if (argc < 2) {
    std::fprintf(stderr, "usage: drn eval FILE TIME [TIME ...]\n");
    return 2;
  }
  LoadedScene scene;
  KT::Result r = LoadSceneFile(argv[0], 0x1E, 0x1F, scene);
  if (!scene.opened) return 1;
  if (KT::Failed(r)) return FinishWithResult(r);
  KT::CSpatial* root = KT::DynamicCast<KT::CSpatial>(scene.stream.GetRootObject(0));
  if (root == nullptr) {
    std::printf("the first root is not a spatial object\n");
    return FinishWithResult(KT::kErrNotFound);
  }
  // Loading reseeds the generator from the clock (particle controllers do
  // on construction): a fixed start makes the random draws, and so the
  // output, the same on every run.
  CrtSrand(1);
  for (const KT::i32 time : times) {
    r = root->UpdateScene(time, 0, 0.0f, true, nullptr, false);
    std::printf("time %d\n", time);
    if (KT::Failed(r)) break;
    for (KT::CSpatial* spatial : UpdateOrder(*root)) {
      const KT::CMatrix4& m = spatial->GetWorldMatrix();
      std::printf("  %s %s", KT::WideToUtf8(spatial->GetName()).c_str(), spatial->GetClassRecord().name);
      for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) std::printf(" %.6g", static_cast<double>(m.m[row][col]));
      }
      std::printf("\n");
    }
    // Objects the data pass updated.
    std::vector<KT::CDorun*> animated;
    root->CollectAnimated(animated);
    for (KT::CDorun* object : animated) std::fputs(KT::DescribeObject(*object, false, 1).c_str(), stdout);
  }
  return FinishWithResult(r);
}

}  // namespace drn
