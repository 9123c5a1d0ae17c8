#include "render/images/image_factory.h"

#include "render/images/thumbnail.h"

namespace KT::ImageFactory {

void Register(std::string_view name, CreateObjectFunc creator) { CClassFactory::Register(name, creator); }

void RegisterImageClasses() { Register(CThumbnail::StaticClassRecord().name, &CreateObject<CThumbnail>); }

CClassFactory::Registry& GetRegistry() { return CClassFactory::GetRegistry(); }

}  // namespace KT::ImageFactory
