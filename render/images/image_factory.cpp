#include "render/images/image_factory.h"

#include "render/images/anm_image.h"
#include "render/images/image.h"
#include "render/images/thumbnail.h"

namespace KT::ImageFactory {

void Register(std::string_view name, CreateObjectFunc creator) { CClassFactory::Register(name, creator); }

void RegisterImageClasses() {
  // Images made by the stream keep their pixels in the memory library.
  Register(CImage::StaticClassRecord().name, &CImage::CreateForFactory);
  Register(CAnmImage::StaticClassRecord().name, &CreateObject<CAnmImage>);
  Register(CThumbnail::StaticClassRecord().name, &CreateObject<CThumbnail>);
}

CClassFactory::Registry& GetRegistry() { return CClassFactory::GetRegistry(); }

}  // namespace KT::ImageFactory
