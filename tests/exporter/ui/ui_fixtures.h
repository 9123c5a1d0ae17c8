// What the export panel's tests share: a host scene made active (so that
// GetTicksPerFrame answers from it), a clean script around each test, and
// the scene's properties as "name=value" lines.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/host/scene_builder.h"
#include "platform/ui/ui_script.h"

namespace KT::Testing {

// The properties of a scene as "name=value" lines (strings quoted), in
// their order.
inline std::vector<std::string> StoredProperties(const KT::Host::HostScene& scene) {
  std::vector<std::string> out;
  for (const KT::Host::PropertyDesc& p : scene.Properties()) {
    const std::string name(p.name.begin(), p.name.end());
    out.push_back(name + "=" + (p.isString ? "\"" + p.text + "\"" : std::to_string(p.intValue)));
  }
  return out;
}

// A test with an active host scene (animation range frames 0 to 100 at 160
// ticks per frame unless the builder says otherwise) and a clean script.
class UiTest : public ::testing::Test {
 protected:
  void SetUp() override { UiScript::Current().Clear(); }
  void TearDown() override {
    active_.reset();
    UiScript::Current().Clear();
  }
  // Makes the scene of `builder` the active one and answers it.
  KT::Host::HostScene& Open(KT::Host::SceneBuilder& builder) {
    active_.reset();
    scene_ = builder.Make();
    EXPECT_NE(scene_, nullptr);
    active_ = std::make_unique<KT::Host::ActiveHostScene>(*scene_);
    return *scene_;
  }
  static KT::Host::SceneBuilder Frames0To100() {
    KT::Host::SceneBuilder b;
    b.TicksPerFrame(160).Range(0, 16000);
    return b;
  }
  UiScript& Script() { return UiScript::Current(); }
  const std::vector<RecordedMessage>& Messages() { return UiScript::Current().Messages(); }

  std::unique_ptr<KT::Host::HostScene> scene_;
  std::unique_ptr<KT::Host::ActiveHostScene> active_;
};

}  // namespace KT::Testing
