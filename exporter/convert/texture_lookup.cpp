// The texture file lookup of the material conversion.
#include <new>
#include <string>

#include "exporter/plugin/max_drn.h"
#include "exporter/plugin/plugin_paths.h"
#include "objectmodel/path_helpers.h"
#include "platform/host/bitmap_manager.h"
#include "platform/host/mtl.h"
#include "render/images/pixel_buffer.h"
#include "render/materials/texture_maps.h"

KT::Result CMaxDrn::LoadTexture(KT::CTextureMap* map, BitmapTex* tex) {
  if (map == nullptr || tex == nullptr) return KT::kErrInvalidArg;
  std::string name = tex->GetMapName() != nullptr ? tex->GetMapName() : "";
  if (!BMMIsFile(name.c_str())) {
    BitmapInfo info;
    info.SetName(name.c_str());
    if (BMMGetFullFilename(&info)) name = info.Name();
  }
  // The cache compares the path exactly: the same file reached through two
  // spellings is decoded twice.
  const KT::WString path = ToWide(name);
  const auto cached = textureCache.find(path);
  if (cached != textureCache.end()) {
    map->SetImage(cached->second.Get());
  } else {
    KT::CPointer<KT::CImage> image(new (std::nothrow) KT::CImage(KT::PixelStorage::kMapped));
    if (!image) return KT::kErrOutOfMemory;
    const KT::Result loaded = image->LoadFile(path);
    // Nothing is cached on failure, so a later use tries the file again.
    if (KT::Failed(loaded)) return loaded;
    image->SetName(KT::GetFileTitle(path));
    map->SetImage(image.Get());
    textureCache.emplace(path, image);
  }
  if (tex->GetUVWSource() == 0) {
    const int channel = tex->GetMapChannel();
    if (channel >= 0 && static_cast<std::size_t>(channel) < uvChannels.size()) {
      map->SetUvwChannel(static_cast<KT::u32>(uvChannels[static_cast<std::size_t>(channel)]));
    }
  }
  return KT::kOk;
}
