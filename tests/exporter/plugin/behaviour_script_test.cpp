#include "exporter/plugin/behaviour_script.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controllers/core/data_clip_control.h"
#include "controllers/core/keyframe_control.h"
#include "controllers/core/rts_clip_control.h"
#include "controllers/core/uvw_map_control.h"
#include "exporter/plugin/max_drn.h"
#include "objectmodel/raw_data.h"
#include "platform/host/scene_builder.h"

namespace {

using KT::Host::HostScene;
using KT::Host::SceneBuilder;

// The custom-data records of `object`, in chain order.
std::vector<KT::CCustomData*> CustomData(KT::CDorun* object) {
  std::vector<KT::CCustomData*> out;
  for (KT::CCustomData* d = object->GetFirstCustomData(); d != nullptr; d = d->GetNext()) out.push_back(d);
  return out;
}

std::string TextOf(const KT::CXmlRawData& record) {
  return std::string(reinterpret_cast<const char*>(record.GetBytes()), record.GetByteSize());
}

KT::CPointer<KT::CNode> NewNode() {
  KT::CPointer<KT::CNode> node;
  KT::CNode::Create(node);
  return node;
}

// The whole document for the clips Walk and Run.
const std::string kWalkRun =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?><!-- Ostrel3 FenwaScript --><zObject Name=\"Object\"><Commands>"
    "<Perform>"
    "<PerformCommand ID=\"Walk\"><DisplayName>Walk</DisplayName><Persist>FALSE</Persist><RightMenu>TRUE</RightMenu>"
    "<HotkeyID>None</HotkeyID><MenuMode>Object</MenuMode><ClipSeq ID=\"01\" RefClipID=\"Walk\"><TriggerClip />"
    "<State /><Delay>0</Delay><Loop>1</Loop></ClipSeq></PerformCommand>"
    "<PerformCommand ID=\"Run\"><DisplayName>Run</DisplayName><Persist>FALSE</Persist><RightMenu>TRUE</RightMenu>"
    "<HotkeyID>None</HotkeyID><MenuMode>Object</MenuMode><ClipSeq ID=\"01\" RefClipID=\"Run\"><TriggerClip />"
    "<State /><Delay>0</Delay><Loop>1</Loop></ClipSeq></PerformCommand>"
    "</Perform></Commands><Clips>"
    "<AnimationClip ID=\"Walk\"><TargetType>Object</TargetType><TargetNode>$</TargetNode>"
    "<ClipType>Animation</ClipType><ClipLocation>$</ClipLocation><Priority ID=\"01\"><Node>$</Node>"
    "<Value>200</Value></Priority></AnimationClip>"
    "<AnimationClip ID=\"Run\"><TargetType>Object</TargetType><TargetNode>$</TargetNode>"
    "<ClipType>Animation</ClipType><ClipLocation>$</ClipLocation><Priority ID=\"01\"><Node>$</Node>"
    "<Value>200</Value></Priority></AnimationClip>"
    "</Clips></zObject>";

TEST(BehaviourScript, WalkAndRunGiveTheCommandsThenTheClips) {
  KT::CPointer<KT::CNode> object = NewNode();
  KT::Result result = KT::kErrNotFound;
  BuildBehaviourScriptXml(result, object.Get(), {"Walk", "Run"});
  EXPECT_EQ(result, KT::kOk);
  const std::vector<KT::CCustomData*> data = CustomData(object.Get());
  ASSERT_EQ(data.size(), 1u);
  auto* record = dynamic_cast<KT::CXmlRawData*>(data[0]);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(kWalkRun.size(), 1139u);
  ASSERT_EQ(record->GetByteSize(), 1140u) << "the printed text and its terminating zero";
  EXPECT_EQ(record->GetBytes()[1139], 0);
  EXPECT_EQ(TextOf(*record).substr(0, 1139), kWalkRun);
}

TEST(BehaviourScript, FailuresLeaveTheObjectWithoutScript) {
  const std::string noClips =
      "<?xml version='1.0'?><zObject Name='Object'><Commands><Perform></Perform></Commands></zObject>";
  const std::string noPerform = "<?xml version='1.0'?><zObject><Commands></Commands><Clips></Clips></zObject>";
  const std::string noCommands = "<?xml version='1.0'?><zObject><Clips></Clips></zObject>";
  const std::string otherRoot = "<?xml version='1.0'?><Thing><Commands><Perform/></Commands><Clips/></Thing>";
  const std::string broken = "<?xml version='1.0'?><zObject><Commands></zObject>";
  const std::string fine(KT::kBehaviourScriptTemplate);
  const struct {
    const char* what;
    bool object;
    std::vector<std::string> names;
    std::string scriptTemplate;
    KT::Result result;
  } rows[] = {
      {"no clip names", true, {}, fine, KT::kErrInvalidArg},
      {"no object", false, {"Walk"}, fine, KT::kErrInvalidArg},
      {"template does not parse", true, {"Walk"}, broken, KT::kErrMissingObject},
      {"no Clips", true, {"Walk"}, noClips, KT::kErrNotFound},
      {"no Perform", true, {"Walk"}, noPerform, KT::kErrNotFound},
      {"no Commands", true, {"Walk"}, noCommands, KT::kErrNotFound},
      {"no zObject", true, {"Walk"}, otherRoot, KT::kErrNotFound},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    KT::CPointer<KT::CNode> object = NewNode();
    KT::Result result = KT::kOk;
    BuildBehaviourScriptXmlFrom(result, row.object ? object.Get() : nullptr, row.names, row.scriptTemplate);
    EXPECT_EQ(result, row.result);
    EXPECT_TRUE(CustomData(object.Get()).empty());
  }
}

// A prop: "Box" with a clip controller of two layers and a UVW clip
// controller of two channels on its converted node.
struct PropCase {
  PropCase() {
    SceneBuilder b;
    b.AddNode("Box");
    scene = b.Make();
    context = std::make_unique<CMaxDrn>(scene.get(), scene.get(), false);
    context->BuildNodes(0);
    KT::CNode* box =
        static_cast<KT::CNode*>(context->root->Find(u"Box", &KT::CNode::StaticClassRecord(), false, false));
    clips = new KT::CRTSClipControl();
    box->AddControl(clips.Get());
    for (int i = 0; i < 2; ++i) clips->AddChild(KT::CPointer<KT::CKeyframeControl>(new KT::CKeyframeControl()).Get());
    uvw = new KT::CUvwMapClipControl();
    box->AddControl(uvw.Get());
    for (const char16_t* name : {u"Blink", u"Scroll"}) {
      KT::CPointer<KT::CUvwMapControl> channel(new KT::CUvwMapControl());
      channel->SetName(name);
      uvw->AddChild(channel.Get());
    }
  }
  std::unique_ptr<HostScene> scene;
  std::unique_ptr<CMaxDrn> context;
  KT::CPointer<KT::CRTSClipControl> clips;
  KT::CPointer<KT::CUvwMapClipControl> uvw;
};

TEST(BehaviourScript, GenerateScriptPreparesTheClipControls) {
  PropCase c;
  c.context->clips = {{u"Walk", 0, 10}, {u"Run", 11, 20}};
  const int progress = c.context->progress;
  c.context->GenerateScript();
  EXPECT_EQ(c.context->progress, progress + 10);
  EXPECT_EQ(c.scene->ProgressLog().back().text, "Generate Fenwa Script");
  const std::vector<KT::CCustomData*> data = CustomData(c.context->root.Get());
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(TextOf(*static_cast<KT::CXmlRawData*>(data[0])).substr(0, 1139), kWalkRun);
  EXPECT_EQ(c.clips->GetStatic(), (std::vector<bool>{true, true}));
  EXPECT_EQ(c.uvw->GetChild(0)->GetName(), u"PerformChannel_Blink");
  EXPECT_EQ(c.uvw->GetChild(1)->GetName(), u"PerformChannel_Scroll");
}

TEST(BehaviourScript, NamesGoThroughTheCodePageAndAreEscaped) {
  PropCase c;
  // An e with acute accent (in the code page) and an omega (not in it),
  // and a name with markup characters.
  c.context->clips = {{u"Caf\u00e9\u03a9", 0, 10}, {u"a<b&c", 11, 20}};
  c.context->GenerateScript();
  const std::vector<KT::CCustomData*> data = CustomData(c.context->root.Get());
  ASSERT_EQ(data.size(), 1u);
  const std::string text = TextOf(*static_cast<KT::CXmlRawData*>(data[0]));
  EXPECT_NE(text.find("<PerformCommand ID=\"Caf\xE9?\"><DisplayName>Caf\xE9?</DisplayName>"), std::string::npos);
  EXPECT_NE(text.find("<AnimationClip ID=\"a&lt;b&amp;c\">"), std::string::npos);
}

TEST(BehaviourScript, FailedScriptLeavesTheClipControls) {
  PropCase c;
  c.context->GenerateScript();  // no clips
  EXPECT_TRUE(CustomData(c.context->root.Get()).empty());
  EXPECT_EQ(c.clips->GetStatic(), (std::vector<bool>{false, false}));
  EXPECT_EQ(c.uvw->GetChild(0)->GetName(), u"Blink");
}

TEST(BehaviourScript, GenerateScriptNeedsNodesAndRoot) {
  SceneBuilder b;
  std::unique_ptr<HostScene> scene = b.Make();
  CMaxDrn context(scene.get(), scene.get(), false);
  context.clips = {{u"Walk", 0, 10}};
  context.root = NewNode();
  context.GenerateScript();
  EXPECT_EQ(context.progress, 10);
  EXPECT_TRUE(CustomData(context.root.Get()).empty()) << "no collected nodes";
}

}  // namespace
