// KT::ImageFactory: the image classes' entries in the class factory.
//
// The stream creates image objects by class name through the one class
// factory (KT::CClassFactory), notably the thumbnail when it reads the
// thumbnail section of a scene file. These functions fill that factory with
// the image classes; they keep no registry of their own.
#pragma once

#include <string_view>

#include "objectmodel/class_factory.h"

namespace KT::ImageFactory {

// Enters or replaces the creator of `name` in the class factory.
void Register(std::string_view name, CreateObjectFunc creator);

// Registers the image classes by their class names: "CImage" (images with
// pixel storage kind 1), "CAnmImage" and "CThumbnail". Calling it again is
// harmless (the same creators are entered again).
void RegisterImageClasses();

// The class factory's registry, in which the stream looks class names up.
CClassFactory::Registry& GetRegistry();

}  // namespace KT::ImageFactory
