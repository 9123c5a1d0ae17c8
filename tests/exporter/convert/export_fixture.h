// What the material and mesh export tests share: a host scene made active
// with its conversion context, and small image files to point maps at.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "exporter/plugin/max_drn.h"
#include "platform/host/host_scene.h"
#include "platform/host/mtl.h"
#include "platform/host/scene_builder.h"

namespace KT::Testing {

// A 2 x 2 24-bit BMP file.
inline std::string SmallBmp() {
  std::string bytes;
  auto u16 = [&](std::uint16_t v) {
    bytes += static_cast<char>(v & 0xFF);
    bytes += static_cast<char>(v >> 8);
  };
  auto u32 = [&](std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v & 0xFFFF));
    u16(static_cast<std::uint16_t>(v >> 16));
  };
  bytes += "BM";
  u32(54 + 16);
  u32(0);
  u32(54);
  u32(40);
  u32(2);
  u32(2);
  u16(1);
  u16(24);
  u32(0);
  u32(16);
  u32(2835);
  u32(2835);
  u32(0);
  u32(0);
  for (int row = 0; row < 2; ++row) bytes += std::string("\x10\x20\x30\x40\x50\x60\0\0", 8);
  return bytes;
}

// The scene of a builder made active, with a context over it.
class ExportScene {
 public:
  // A description the stand-in refuses fails the test here.
  explicit ExportScene(const KT::Host::SceneBuilder& builder)
      : scene_(Make(builder)), active_(*scene_), context_(MakeContext()) {}

  KT::Host::HostScene& Scene() { return *scene_; }
  CMaxDrn& Context() { return *context_; }
  // The host material of node i.
  Mtl* MaterialOf(int node) { return scene_->NodeAt(node)->GetMtl(); }
  INode* Node(int i) { return scene_->NodeAt(i); }

 private:
  static std::unique_ptr<KT::Host::HostScene> Make(const KT::Host::SceneBuilder& builder) {
    std::string error;
    std::unique_ptr<KT::Host::HostScene> scene = builder.Make(&error);
    if (!scene) throw std::runtime_error("scene refused: " + error);
    return scene;
  }
  std::unique_ptr<CMaxDrn> MakeContext() { return std::make_unique<CMaxDrn>(scene_.get(), scene_.get(), false); }
  std::unique_ptr<KT::Host::HostScene> scene_;
  KT::Host::ActiveHostScene active_;
  std::unique_ptr<CMaxDrn> context_;
};

}  // namespace KT::Testing
