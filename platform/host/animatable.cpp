#include "platform/host/animatable.h"

void* Animatable::GetInterface(ULONG) { return nullptr; }

BaseInterface* Animatable::GetInterface(Interface_ID) { return nullptr; }

void Animatable::ReleaseInterface(ULONG, void*) {}
