// The thumbnail of a content file and the base-bone scenes, read by the
// conversion context.

#include "exporter/plugin/template_scenes.h"

#include <new>
#include <vector>

#include "exporter/plugin/max_drn.h"
#include "objectmodel/collectors.h"
#include "objectmodel/file_io.h"
#include "objectmodel/stream.h"
#include "render/images/image.h"
#include "render/images/pixel_buffer.h"

void CMaxDrn::WriteThumbnail(KT::Result& result, const KT::WString& path, bool fromTemplate) {
  if (fromTemplate) {
    KT::CFileIo file;
    result = file.OpenRead(path);
    if (KT::Failed(result)) return;
    KT::CStream stream;
    stream.SetDevice(&file);
    result = stream.Load(kTemplateSkipMask, kThumbnailTemplateSections);
    if (KT::Failed(result)) return;
    file.Close();
    thumbnail = KT::DynamicCast<KT::CThumbnail>(stream.GetThumbnail());
    result = KT::kOk;
    return;
  }

  // An image the user chose; one that cannot be read leaves the export
  // without a new thumbnail but does not stop it.
  result = KT::kOk;
  KT::CPointer<KT::CImage> image(new (std::nothrow) KT::CImage(KT::PixelStorage::kMapped));
  if (!image || KT::Failed(image->LoadFile(path))) return;
  image->Resize(kThumbnailSide, kThumbnailSide, nullptr);
  image->ConvertPixelFormat(kThumbnailLayout, nullptr);
  KT::CPointer<KT::CThumbnail> made(new (std::nothrow) KT::CThumbnail());
  if (!made) return;
  thumbnail = made;
  thumbnail->SetImage(image->GetImage());
}

bool CMaxDrn::LoadBaseBoneFile(const KT::WString& path) {
  KT::CFileIo file;
  if (KT::Failed(file.OpenRead(path))) return false;
  KT::CStream stream;
  stream.SetDevice(&file);
  if (KT::Failed(stream.Load(kTemplateSkipMask, kBaseBoneSections))) return false;
  file.Close();
  baseBoneLoaded = true;
  root = KT::DynamicCast<KT::CNode>(stream.GetRootObject(0));
  if (!root) return true;
  std::vector<KT::CNode*> nodes;
  KT::CollectObjects(nodes, root.Get(), nullptr, true, false);
  for (KT::CNode* node : nodes) {
    node->SetInherited(kBaseBoneInherited);
    node->SetModified();
  }
  // World transforms current for the sampling that follows.
  root->UpdateScene(0, 0, 0.0f, true, nullptr, false);
  return true;
}
