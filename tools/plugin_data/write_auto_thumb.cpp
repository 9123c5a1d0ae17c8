// write_auto_thumb OUT: writes the thumbnail template of the plug-in's data
// folder, a scene file holding one empty node and a 125 x 125 thumbnail of
// three-byte pixels (a soft grey-blue gradient). The build runs it to fill
// host/plugins/KTMaxExp/ beside drn.

#include <cstdio>
#include <string>

#include "objectmodel/file_io.h"
#include "objectmodel/pointer.h"
#include "objectmodel/stream.h"
#include "objectmodel/string_helpers.h"
#include "render/images/pixel_buffer.h"
#include "render/images/thumbnail.h"
#include "scene/node.h"

namespace {

constexpr KT::i32 kSide = 125;

KT::Result MakePicture(KT::KTImage& picture) {
  const KT::Result r = KT::PixelBuffer::Create(picture, KT::PixelLayout::kBgr8, kSide, kSide);
  if (KT::Failed(r)) return r;
  for (KT::i32 y = 0; y < kSide; ++y) {
    KT::u8* row = picture.Pixels + static_cast<std::size_t>(y) * picture.Stride;
    for (KT::i32 x = 0; x < kSide; ++x) {
      const int shade = 96 + (y * 96 + x * 32) / kSide;  // lighter towards the bottom right
      row[3 * x] = static_cast<KT::u8>(shade + 24);       // blue
      row[3 * x + 1] = static_cast<KT::u8>(shade + 8);    // green
      row[3 * x + 2] = static_cast<KT::u8>(shade);        // red
    }
  }
  return KT::kOk;
}

KT::Result WriteTemplate(const std::string& path) {
  KT::KTImage picture;
  KT::Result r = MakePicture(picture);
  if (KT::Failed(r)) return r;
  KT::CPointer<KT::CThumbnail> thumbnail(new KT::CThumbnail());
  r = thumbnail->SetImage(picture);
  if (KT::Failed(r)) return r;
  KT::CPointer<KT::CNode> node;
  r = KT::CNode::Create(node);
  if (KT::Failed(r)) return r;

  KT::CFileIo file;
  r = file.OpenWrite(KT::Utf8ToWide(path));
  if (KT::Failed(r)) return r;
  {
    KT::CStream stream;
    stream.SetDevice(&file);
    stream.AddRootObject(node.Get());
    stream.SetThumbnail(thumbnail.Get());
    r = stream.Save(KT::CStream::kAllSections);
  }
  file.Close();
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_auto_thumb OUT\n");
    return 2;
  }
  const KT::Result r = WriteTemplate(argv[1]);
  if (KT::Failed(r)) {
    std::fprintf(stderr, "error: cannot write %s (0x%08X)\n", argv[1], static_cast<unsigned>(r));
    std::remove(argv[1]);
    return 1;
  }
  return 0;
}
