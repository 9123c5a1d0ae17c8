#include <cstdio>

#include "controllers/core/keyframe_control.h"
#include "controllers/core/rts_control.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/quaternion.h"
#include "objectmodel/raw_data.h"
#include "scene/node.h"
#include "scene/sel_node.h"
#include "objectmodel/stream.h"
#include "objectmodel/version_data.h"
#include "render/pixel_buffer.h"
#include "render/thumbnail.h"
#include "tools/drn/commands.h"
#include "tools/drn/scene_file.h"

namespace drn {

namespace {

constexpr KT::f32 kFps = 30.0f;

KT::CRtsTransform Turn(KT::f32 degrees, KT::f32 x, KT::f32 y, KT::f32 z) {
  KT::CRtsTransform t = KT::kIdentityTransform;
  t.Rotate = KT::CQuaternion::FromAxisAngle(KT::CVector3<float>{0.0f, 0.0f, 1.0f}, degrees * KT::kDegreesToRadians);
  t.Translate = {x, y, z};
  return t;
}

// A node with a keyframe controller turning it about Z from `from` to `to`
// degrees over one second.
KT::Result AddAnimatedNode(KT::CNode& parent, const char16_t* name, KT::f32 x, KT::f32 from, KT::f32 to,
                           KT::u32 transition, KT::CPointer<KT::CNode>& node) {
  KT::Result r = KT::CNode::Create(node);
  if (KT::Failed(r)) return r;
  node->SetName(name);
  node->SetBasis(Turn(0.0f, x, 0.0f, 0.0f));
  KT::CPointer<KT::CKeyframeControl> keys(new KT::CKeyframeControl());
  keys->SetName(std::u16string(name) + u" keys");
  keys->SetRepeat(KT::CControl::RT_CYCLE);
  r = keys->AddRtsKey(0, kFps, Turn(from, x, 0.0f, 0.0f));
  if (KT::Succeeded(r)) r = keys->AddRtsKey(1000, kFps, Turn(to, x, 0.0f, 0.0f), transition);
  if (KT::Succeeded(r)) r = node->AddControl(keys.Get());
  if (KT::Succeeded(r)) r = parent.AddChild(node.Get());
  return r;
}

// A small scene that uses every persistent class of the library.
KT::Result BuildSample(KT::CStream& stream) {
  KT::CPointer<KT::CCustomData> root(new KT::CCustomData());
  root->SetName(u"Sample");
  KT::CPointer<KT::CRawData> raw(new KT::CRawData());
  raw->SetName(u"Bytes");
  const KT::u8 bytes[] = {0x4B, 0x54, 0x00, 0xFF, 0x10, 0x20};
  KT::Result r = raw->SetData(sizeof(bytes), bytes);
  KT::CPointer<KT::CXmlRawData> xml(new KT::CXmlRawData());
  xml->SetName(u"Script");
  const char script[] =
      "<?xml version='1.0' encoding='UTF-8'?><zObject Name='Object'><Commands><Perform></Perform>"
      "</Commands><Clips></Clips></zObject>";
  if (KT::Succeeded(r)) r = xml->SetData(sizeof(script) - 1, script);
  if (KT::Succeeded(r)) r = root->SetNext(raw.Get());
  if (KT::Succeeded(r)) r = raw->SetNext(xml.Get());
  if (KT::Failed(r)) return r;

  KT::CPointer<KT::CVersionData> version(new KT::CVersionData());
  version->SetName(u"FileAppVersion");
  version->SetApp(u"drn sample", 5000100);
  version->SetDescription(u"written by drn sample");
  version->SetDataVersion(0xFFFFFFFFu);

  KT::CPointer<KT::CRawData> listed(new KT::CRawData());
  listed->SetName(u"Listed");
  const KT::u8 note[] = {'n', 'o', 't', 'e'};
  listed->SetData(sizeof(note), note);

  // A 16 x 16 gradient as the preview picture (layout 0: 4 bytes per pixel).
  KT::KTImage picture;
  r = KT::PixelBuffer::Create(picture, 0, 16, 16);
  if (KT::Failed(r)) return r;
  for (KT::i32 y = 0; y < picture.Height; ++y) {
    KT::u8* row = picture.Pixels + static_cast<std::size_t>(y) * picture.Stride;
    for (KT::i32 x = 0; x < picture.Width; ++x) {
      row[4 * x + 0] = static_cast<KT::u8>(x * 16);
      row[4 * x + 1] = static_cast<KT::u8>(y * 16);
      row[4 * x + 2] = 0x80;
      row[4 * x + 3] = 0xFF;
    }
  }
  KT::CPointer<KT::CThumbnail> thumbnail(new KT::CThumbnail());
  r = thumbnail->SetImage(picture);
  KT::PixelBuffer::Free(picture);
  if (KT::Failed(r)) return r;

  // An animated arm: shoulder, upper arm, forearm and a sibling hand.
  KT::CPointer<KT::CNode> scene;
  r = KT::CNode::Create(scene);
  if (KT::Failed(r)) return r;
  scene->SetName(u"Scene");
  KT::CPointer<KT::CNode> upper, fore, sibling;
  r = AddAnimatedNode(*scene, u"UpperArm", 0.0f, 0.0f, 90.0f, KT::TT_LINEAR, upper);
  if (KT::Succeeded(r)) r = AddAnimatedNode(*upper, u"ForeArm", 2.0f, 0.0f, 45.0f, KT::TT_EASE_IN_OUT, fore);
  if (KT::Succeeded(r)) r = AddAnimatedNode(*scene, u"Sibling", -1.0f, 0.0f, -30.0f, KT::TT_EASE_OUT, sibling);
  if (KT::Failed(r)) return r;
  sibling->SetInherited(KT::kInheritScaleBits);
  // A switch of three animated options; only the selected one (the first)
  // is shown and animated.
  KT::CPointer<KT::CSelNode> selection;
  r = KT::CSelNode::Create(selection);
  if (KT::Failed(r)) return r;
  selection->SetName(u"Switch");
  r = scene->AddChild(selection.Get());
  const char16_t* const options[] = {u"Option0", u"Option1", u"Option2"};
  for (int i = 0; i < 3 && KT::Succeeded(r); ++i) {
    KT::CPointer<KT::CNode> option;
    r = AddAnimatedNode(*selection, options[i], 3.0f + static_cast<KT::f32>(i), 0.0f, 30.0f * static_cast<KT::f32>(i + 1),
                        KT::TT_LINEAR, option);
  }
  if (KT::Failed(r)) return r;
  // The custom data chain rides on the scene root.
  r = scene->AddCustomData(root.Get());
  if (KT::Failed(r)) return r;

  stream.AddRootObject(scene.Get());
  stream.AddExtendInfo(version.Get());
  stream.AddObject(listed.Get());
  stream.SetThumbnail(thumbnail.Get());
  return KT::kOk;
}

}  // namespace

int RunSample(int argc, char** argv) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: drn sample OUT\n");
    return 2;
  }
  KT::CStream stream;
  KT::Result r = BuildSample(stream);
  if (KT::Succeeded(r)) r = SaveSceneFile(argv[0], KT::CStream::kAllSections, stream);
  return FinishWithResult(r);
}

}  // namespace drn
