// Registration of every class name of the library with the class factory.
#pragma once

namespace KT {

// Registers the image classes, then the creator of every library class that
// exists, then maps each old class name to the creator of its current class.
// Safe to call more than once.
void RegisterLibraryClasses();

}  // namespace KT
