// write_base_bones FOLDER: writes the two base-bone scenes of the plug-in's
// data folder, the skeletons that biped motions are keyed on.
// "KTBoneFullG1.DRN": a root "KT_MotionRoot" holding "LowerTorso", which
// carries "LThigh" > "LCalf" > "LFoot", "RThigh" > "RCalf" > "RFoot" and
// "UpperTorso" > "Neck" > "Head".
// "KTBoneGesture.drn": a root "GestureRoot" holding "RHand" and "LHand".
// The build runs it to fill host/plugins/KTMaxExp/ beside drn.

#include <cstdio>
#include <string>
#include <vector>

#include "objectmodel/file_io.h"
#include "objectmodel/pointer.h"
#include "objectmodel/stream.h"
#include "objectmodel/string_helpers.h"
#include "scene/node.h"

namespace {

struct Bone {
  const char16_t* name;
  int parent;  // index into the table; -1 for the root
};

constexpr Bone kFullBody[] = {
    {u"KT_MotionRoot", -1}, {u"LowerTorso", 0}, {u"LThigh", 1}, {u"LCalf", 2}, {u"LFoot", 3}, {u"RThigh", 1},
    {u"RCalf", 5},          {u"RFoot", 6},      {u"UpperTorso", 1}, {u"Neck", 8}, {u"Head", 9},
};
constexpr Bone kGesture[] = {{u"GestureRoot", -1}, {u"RHand", 0}, {u"LHand", 0}};

template <std::size_t N>
KT::Result WriteSkeleton(const std::string& path, const Bone (&bones)[N]) {
  std::vector<KT::CPointer<KT::CNode>> nodes(N);
  for (std::size_t i = 0; i < N; ++i) {
    KT::Result r = KT::CNode::Create(nodes[i]);
    if (KT::Failed(r)) return r;
    nodes[i]->SetName(bones[i].name);
    if (bones[i].parent >= 0) {
      r = nodes[static_cast<std::size_t>(bones[i].parent)]->AddChild(nodes[i].Get());
      if (KT::Failed(r)) return r;
    }
  }
  KT::CFileIo file;
  KT::Result r = file.OpenWrite(KT::Utf8ToWide(path));
  if (KT::Failed(r)) return r;
  {
    KT::CStream stream;
    stream.SetDevice(&file);
    stream.AddRootObject(nodes[0].Get());
    r = stream.Save(KT::CStream::kAllSections);
  }
  file.Close();
  if (KT::Failed(r)) std::remove(path.c_str());
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_base_bones FOLDER\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  const struct {
    std::string path;
    KT::Result result;
  } written[] = {{folder + "KTBoneFullG1.DRN", WriteSkeleton(folder + "KTBoneFullG1.DRN", kFullBody)},
                 {folder + "KTBoneGesture.drn", WriteSkeleton(folder + "KTBoneGesture.drn", kGesture)}};
  int status = 0;
  for (const auto& w : written) {
    if (KT::Failed(w.result)) {
      std::fprintf(stderr, "error: cannot write %s (0x%08X)\n", w.path.c_str(), static_cast<unsigned>(w.result));
      status = 1;
    }
  }
  return status;
}
