#include "platform/host/host_scene.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/host/control.h"
#include "platform/host/gen_camera.h"
#include "platform/host/gen_light.h"
#include "platform/host/host_fixtures.h"
#include "platform/host/inode.h"

namespace KT::Host {
namespace {

PROPSPEC NamedProperty(std::u16string& name) {
  PROPSPEC propSpec;
  propSpec.ulKind = PRSPEC_LPWSTR;
  propSpec.lpwstr = name.data();
  return propSpec;
}

void Add(Interface& ip, std::u16string name, const PROPVARIANT& value) {
  const PROPSPEC propSpec = NamedProperty(name);
  ip.AddProperty(PROPSET_USERDEFINED, &propSpec, &value);
}

PROPVARIANT Int(LONG v) {
  PROPVARIANT p;
  p.vt = VT_I4;
  p.lVal = v;
  return p;
}

PROPVARIANT Str(const char* text) {
  PROPVARIANT p;
  p.vt = VT_LPSTR;
  p.pszVal = const_cast<char*>(text);
  return p;
}

int Find(Interface& ip, std::u16string name, int set = PROPSET_USERDEFINED) {
  const PROPSPEC propSpec = NamedProperty(name);
  return ip.FindProperty(set, &propSpec);
}

TEST(HostScene, PropertiesAreFoundByNameAndReplacedInPlace) {
  SceneBuilder b;
  b.IntProperty(u"Ostrel3_Type", 13).StringProperty(u"Ostrel3_Info_Author", "me");
  std::unique_ptr<HostScene> scene = b.Make();
  Interface& ip = *scene;
  EXPECT_EQ(Find(ip, u"Ostrel3_Type"), 0);
  EXPECT_EQ(Find(ip, u"Ostrel3_Info_Author"), 1);
  EXPECT_EQ(Find(ip, u"Ostrel3_IsBiped"), -1);
  EXPECT_EQ(Find(ip, u"ostrel3_type"), -1);  // names match exactly
  EXPECT_EQ(Find(ip, u"Ostrel3_Type", 1), -1);  // another property set

  const PROPVARIANT* type = ip.GetPropertyVariant(PROPSET_USERDEFINED, 0);
  ASSERT_NE(type, nullptr);
  EXPECT_EQ(type->vt, VT_I4);
  EXPECT_EQ(type->lVal, 13);

  Add(ip, u"Ostrel3_Type", Int(14));  // replaced, same index
  EXPECT_EQ(Find(ip, u"Ostrel3_Type"), 0);
  EXPECT_EQ(ip.GetPropertyVariant(PROPSET_USERDEFINED, 0)->lVal, 14);

  char buffer[1024];
  std::strcpy(buffer, "Walk&#%0 to 30*;@");
  Add(ip, u"Ostrel_G5_Human_MClip", Str(buffer));  // added at the end, copied
  buffer[0] = 'X';
  EXPECT_EQ(Find(ip, u"Ostrel_G5_Human_MClip"), 2);
  const PROPVARIANT* clips = ip.GetPropertyVariant(PROPSET_USERDEFINED, 2);
  ASSERT_NE(clips, nullptr);
  EXPECT_EQ(clips->vt, VT_LPSTR);
  EXPECT_STREQ(clips->pszVal, "Walk&#%0 to 30*;@");

  Add(ip, u"Ostrel3_Info_Author", Int(7));  // a string replaced by an integer
  EXPECT_EQ(ip.GetPropertyVariant(PROPSET_USERDEFINED, 1)->vt, VT_I4);
  Add(ip, u"Ostrel3_Info_Author", Str(ip.GetPropertyVariant(PROPSET_USERDEFINED, 2)->pszVal));
  EXPECT_STREQ(ip.GetPropertyVariant(PROPSET_USERDEFINED, 1)->pszVal, "Walk&#%0 to 30*;@");

  EXPECT_EQ(ip.GetPropertyVariant(PROPSET_USERDEFINED, 3), nullptr);
  EXPECT_EQ(ip.GetPropertyVariant(PROPSET_USERDEFINED, -1), nullptr);
  PROPVARIANT other;
  other.vt = 11;  // neither VT_I4 nor VT_LPSTR
  Add(ip, u"Other", other);
  EXPECT_EQ(Find(ip, u"Other"), -1);
  ASSERT_EQ(scene->Properties().size(), 3u);
  EXPECT_EQ(scene->Properties()[2].text, "Walk&#%0 to 30*;@");
}

struct Recorder : ITreeEnumProc {
  std::vector<std::string> names;
  std::string stopAt;
  int callback(INode* node) override {
    names.push_back(node->GetName());
    return names.back() == stopAt ? 1 : 0;
  }
};

TEST(HostScene, EnumTreeVisitsParentsFirstAndStopsWhenAsked) {
  SceneBuilder b;
  const int late = b.AddNode("Late child", 2).Index();  // its parent comes later
  b.AddNode("A");
  b.AddNode("B");
  b.AddNode("A1", 1);
  b.AddNode("B1", 2);
  (void)late;
  std::unique_ptr<HostScene> scene = b.Make();
  ASSERT_NE(scene, nullptr);
  Recorder all;
  EXPECT_EQ(scene->EnumTree(&all), 0);
  EXPECT_EQ(all.names, (std::vector<std::string>{"A", "A1", "B", "Late child", "B1"}));
  Recorder some;
  some.stopAt = "A1";
  EXPECT_EQ(scene->EnumTree(&some), 1);
  EXPECT_EQ(some.names, (std::vector<std::string>{"A", "A1"}));

  EXPECT_EQ(scene->GetINodeByName("B1"), scene->NodeAt(4));
  EXPECT_EQ(scene->GetINodeByName("Root"), scene->GetRootNode());
  EXPECT_EQ(scene->GetINodeByName("Nobody"), nullptr);
  EXPECT_EQ(scene->GetExpInterface()->theScene, scene.get());
  INode* root = scene->GetRootNode();
  EXPECT_EQ(root->IsRootNode(), 1);
  EXPECT_EQ(root->GetParentNode(), nullptr);
  EXPECT_EQ(scene->NodeAt(0)->GetParentNode(), scene->NodeAt(2));
  EXPECT_EQ(scene->NodeAt(1)->GetParentNode(), root);
}

TEST(HostScene, RefusesDescriptionsThatNameNothingOrLoop) {
  std::string error;
  SceneBuilder loop;
  loop.AddNode("A", 1);
  loop.AddNode("B", 0);
  EXPECT_EQ(loop.Make(&error), nullptr);
  EXPECT_EQ(error, "node \"A\": its parents form a cycle");
  SceneBuilder material;
  material.AddNode("A").Material("none");
  EXPECT_EQ(material.Make(&error), nullptr);
  EXPECT_EQ(error, "node \"A\": material \"none\" is not defined");
  SceneBuilder mesh;
  MeshDesc bad;
  bad.faces = {{{0, 0, 0}, 0, 0}};
  mesh.AddNode("A").Mesh(bad);
  EXPECT_EQ(mesh.Make(&error), nullptr);
  EXPECT_EQ(error, "node \"A\": a face names vertex 0 of 0");
}

TEST(HostScene, ProgressCallsAreRecorded) {
  std::unique_ptr<HostScene> scene = SceneBuilder().Make();
  Interface& ip = *scene;
  ip.ProgressStart("Exporting...", TRUE, nullptr, nullptr);
  ip.ProgressUpdate(5, FALSE, "Building Nodes");
  ip.ProgressEnd();
  const auto& log = scene->ProgressLog();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].kind, ProgressEvent::Kind::kStart);
  EXPECT_EQ(log[0].text, "Exporting...");
  EXPECT_EQ(log[1].percent, 5);
  EXPECT_EQ(log[1].showPercent, FALSE);
  EXPECT_EQ(log[1].text, "Building Nodes");
  EXPECT_EQ(log[2].kind, ProgressEvent::Kind::kEnd);
}

TEST(HostScene, FreeFunctionsAnswerFromTheActiveScene) {
  EXPECT_EQ(GetTicksPerFrame(), 160);
  SceneBuilder b;
  b.TicksPerFrame(200).HostFolder("/opt/host app");
  std::unique_ptr<HostScene> scene = b.Make();
  char path[260];
  {
    const ActiveHostScene active(*scene);
    EXPECT_EQ(GetTicksPerFrame(), 200);
    EXPECT_EQ(GetModuleFileNameA(nullptr, path, sizeof path), 18u);
    EXPECT_STREQ(path, "/opt/host app/host");
    EXPECT_EQ(GetModuleFileNameA(nullptr, path, 5), 4u);
    EXPECT_STREQ(path, "/opt");
    EXPECT_EQ(GetModuleFileNameA(nullptr, nullptr, 5), 0u);
    InitCustomControls(nullptr);
    EXPECT_EQ(scene->CustomControlsInitialised(), 1);
    EXPECT_EQ(scene->GetAnimRange(), Interval(0, 16000));
  }
  EXPECT_EQ(GetTicksPerFrame(), 160);
}

void ExpectNear(const Matrix3& a, const Matrix3& b) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], 1e-5f) << "element " << i << j;
}

TEST(HostScene, NodeTransformsComposeLocalWithParent) {
  std::unique_ptr<HostScene> scene = HostScene::Create(Testing::KeyedHierarchy());
  ASSERT_NE(scene, nullptr);
  INode* hip = scene->GetINodeByName("Hip");
  INode* spine = scene->GetINodeByName("Spine");
  INode* head = scene->GetINodeByName("Head");
  // Position linear (halfway at 800), rotation slerped (45 degrees at 1600).
  const Matrix3 hip800 = ComposeSRT(Point3(1, 1, 1), Testing::RotZ(22.5f), Point3(2.5f, 0, 10));
  ExpectNear(hip->GetNodeTM(800), hip800);
  // Constant outside the keys.
  ExpectNear(hip->GetNodeTM(-500), hip->GetNodeTM(0));
  ExpectNear(spine->GetNodeTM(5000) * Inverse(spine->GetParentTM(5000)),
             spine->GetNodeTM(1600) * Inverse(spine->GetParentTM(1600)));
  const Matrix3 spine800 = ComposeSRT(Point3(1, 1, 1), Quat(), Point3(0, 0, 4));
  ExpectNear(spine->GetNodeTM(800), spine800 * hip800);
  ExpectNear(spine->GetParentTM(800), hip800);
  const float headLocal[12] = {0, 1, 0, -1, 0, 0, 0, 0, 1, 0, 0, 3};
  ExpectNear(head->GetNodeTM(800), Matrix3(headLocal) * spine800 * hip800);
  ExpectNear(spine->GetObjectTM(800), ComposeSRT(Point3(2, 2, 2), Testing::RotZ(10), Point3(0, 1, 0)) * spine800 * hip800);
  EXPECT_EQ(head->GetTMController(), nullptr);

  Control* control = hip->GetTMController();
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->GetInheritanceFlags(), 0x1C0u);
  EXPECT_EQ(control->GetScaleController() != nullptr, true);
  EXPECT_EQ(spine->GetTMController()->GetScaleController(), nullptr);
  Interval valid(0, 3200);
  Point3 p;
  control->GetPositionController()->GetValue(800, &p, valid);
  EXPECT_EQ(p, Point3(2.5f, 0, 10));
  EXPECT_EQ(valid, Interval(800, 800));
  Interval constant(0, 3200);
  ScaleValue s;
  control->GetScaleController()->GetValue(800, &s, constant);
  EXPECT_EQ(constant, Interval(0, 3200));  // one key: constant everywhere
  Matrix3 local;
  control->GetValue(800, &local, valid);
  ExpectNear(local, hip800);

  EXPECT_EQ(hip->Selected(), 1);
  EXPECT_EQ(hip->GetWireColor(), RGB(255, 0, 0));
  EXPECT_EQ(spine->CastShadows(), 0);
  EXPECT_EQ(spine->RcvShadows(), 1);
  EXPECT_EQ(head->IsHidden(), 1);
  EXPECT_EQ(head->EvalWorldState(0, FALSE).obj, nullptr);
  EXPECT_NE(head->EvalWorldState(0).obj, nullptr);
}

TEST(HostScene, BipedControllersAnswerTheBipedInterfaceAndRecordIt) {
  SceneBuilder b;
  b.AddNode("Bip01").Controller(ControllerKind::kBipedBody).PositionKey(0, Point3());
  b.AddNode("Bip01 Pelvis").Controller(ControllerKind::kBipedSlave);
  b.AddNode("Bip01 Footsteps").Controller(ControllerKind::kFootstep);
  b.AddNode("Prop").Controller();
  std::unique_ptr<HostScene> scene = b.Make();
  const Class_ID expected[] = {BIPED_BODY_CONTROL_CLASS_ID, BIPED_SLAVE_CONTROL_CLASS_ID, FOOTSTEP_CONTROL_CLASS_ID,
                               kKeyedTransformClassID};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(scene->NodeAt(i)->GetTMController()->ClassID(), expected[i]);
  Control* body = scene->NodeAt(0)->GetTMController();
  auto* biped = static_cast<IBipedExport*>(body->GetInterface(I_BIPED_EXPORT));
  ASSERT_NE(biped, nullptr);
  biped->SetExportOption(1);
  body->ReleaseInterface(I_BIPED_EXPORT, biped);
  const BipedExportLog& log = scene->NodeAt(0)->TransformControl()->BipedLog();
  EXPECT_EQ(log.optionCalls, std::vector<int>{1});
  EXPECT_EQ(log.interfacesTaken, 1);
  EXPECT_EQ(log.interfacesReleased, 1);
  EXPECT_EQ(scene->NodeAt(3)->GetTMController()->GetInterface(I_BIPED_EXPORT), nullptr);
  EXPECT_EQ(scene->NodeAt(1)->GetTMController()->GetPositionController(), nullptr);
}

TEST(HostScene, MeshObjectsConvertToANewTriangleObjectAtATick) {
  std::unique_ptr<HostScene> scene = HostScene::Create(Testing::SkinnedProp(false));
  ASSERT_NE(scene, nullptr);
  INode* prop = scene->GetINodeByName("Prop");
  Object* ref = prop->GetObjectRef();
  ASSERT_EQ(ref->SuperClassID(), SUPER_DERIVED_OBJECT);
  Object* base = static_cast<IDerivedObject*>(ref)->GetObjRef();
  EXPECT_EQ(prop->EvalWorldState(0).obj, base);  // modifiers deform nothing
  EXPECT_EQ(base->CanConvertToType(TRIOBJ_CLASS_ID), 1);
  EXPECT_TRUE(base->HasUVW());
  EXPECT_EQ(base->NumMaps(), 4);
  Object* converted = base->ConvertToType(800, TRIOBJ_CLASS_ID);
  ASSERT_NE(converted, nullptr);
  ASSERT_NE(converted, base);
  Mesh mesh(static_cast<TriObject*>(converted)->GetMesh());
  converted->DeleteMe();
  EXPECT_EQ(mesh.getNumVerts(), 4);
  EXPECT_EQ(mesh.getNumFaces(), 2);
  EXPECT_EQ(mesh.faces[1].smGroup, 3u);
  EXPECT_EQ(mesh.getFaceMtlIndex(1), 1);
  EXPECT_EQ(mesh.vcFace[1].t[0], 1u);
  EXPECT_FALSE(mesh.mapSupport(0));
  EXPECT_FALSE(mesh.mapSupport(2));
  ASSERT_TRUE(mesh.mapSupport(3));
  EXPECT_EQ(mesh.Map(3).tv[1], Point3(0.625f, 0, 0));  // halfway between the keys
  ASSERT_NE(mesh.GetSpecifiedNormals(), nullptr);
  EXPECT_EQ(mesh.GetSpecifiedNormals()->Face(1).GetNormalID(1), 1);
  mesh.buildNormals();
  EXPECT_EQ(mesh.getFaceNormal(0), Point3(0, 0, 1));
  Matrix3 offset;
  offset.SetTrans(Point3(0, 0, 1));
  EXPECT_EQ(prop->GetObjectTM(0), offset);

  INode* bone = scene->GetINodeByName("Bone Root");
  Object* boneObject = bone->EvalWorldState(0).obj;
  EXPECT_EQ(boneObject->ClassID(), BONE_OBJECT_CLASS_ID);
  EXPECT_EQ(boneObject->CanConvertToType(TRIOBJ_CLASS_ID), 1);
  Object* empty = boneObject->ConvertToType(0, TRIOBJ_CLASS_ID);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(static_cast<TriObject*>(empty)->GetMesh().getNumVerts(), 0);
  empty->DeleteMe();
}

TEST(HostScene, HelpersLightsAndCamerasAnswerTheirParameters) {
  std::unique_ptr<HostScene> scene = HostScene::Create(Testing::LightsAndCameras());
  ASSERT_NE(scene, nullptr);
  Object* rig = scene->GetINodeByName("Rig")->EvalWorldState(0).obj;
  EXPECT_EQ(rig->SuperClassID(), SUPER_HELPER);
  EXPECT_EQ(rig->CanConvertToType(TRIOBJ_CLASS_ID), 0);
  EXPECT_EQ(rig->ConvertToType(0, TRIOBJ_CLASS_ID), nullptr);

  auto* omni = static_cast<GenLight*>(scene->GetINodeByName("Omni")->EvalWorldState(0).obj);
  ASSERT_EQ(omni->SuperClassID(), SUPER_LIGHT);
  Interval valid(0, 640);
  EXPECT_EQ(omni->Type(), 0);
  EXPECT_EQ(omni->GetRGBColor(0, valid), Point3(1, 0.5f, 0.25f));
  EXPECT_FLOAT_EQ(omni->GetAtten(320, 3, valid), 150.0f);
  EXPECT_FLOAT_EQ(omni->GetAtten(320, 2, valid), 0.0f);
  auto* spot = static_cast<GenLight*>(scene->GetINodeByName("Spot")->EvalWorldState(0).obj);
  EXPECT_EQ(spot->Type(), 3);
  EXPECT_FLOAT_EQ(spot->GetHotspot(0, valid), 43.0f);
  EXPECT_FLOAT_EQ(spot->GetFallsize(0, valid), 45.0f);

  auto* cam = static_cast<GenCamera*>(scene->GetINodeByName("Cam")->EvalWorldState(0).obj);
  ASSERT_EQ(cam->SuperClassID(), SUPER_CAMERA);
  CameraState cs;
  cs.size = 40;
  Interval whole(TIME_NegInfinity, TIME_PosInfinity);
  EXPECT_EQ(cam->EvalCameraState(320, whole, &cs), 0);
  EXPECT_FLOAT_EQ(cs.fov, 0.75f);
  EXPECT_FLOAT_EQ(cs.farRange, 1000.0f);
  EXPECT_EQ(cs.isOrtho, FALSE);
  CameraState wrong;
  wrong.size = 36;
  wrong.fov = -1.0f;
  EXPECT_EQ(cam->EvalCameraState(0, whole, &wrong), -1);
  EXPECT_FLOAT_EQ(wrong.fov, -1.0f);
  EXPECT_EQ(cam->EvalCameraState(0, whole, nullptr), -1);
  auto* ortho = static_cast<GenCamera*>(scene->GetINodeByName("Ortho")->EvalWorldState(0).obj);
  EXPECT_EQ(ortho->EvalCameraState(0, whole, &cs), 0);
  EXPECT_EQ(cs.isOrtho, TRUE);
  EXPECT_FLOAT_EQ(cs.nearRange, 5.0f);
  EXPECT_EQ(cs.horzLine, 1);
}

}  // namespace
}  // namespace KT::Host
