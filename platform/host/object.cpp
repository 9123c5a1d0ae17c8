#include "platform/host/object.h"

Object* Object::ConvertToType(TimeValue, Class_ID type) { return type == ClassID() ? this : nullptr; }

BOOL TriObject::HasUVW() {
  for (int channel = 1; channel < mesh.getNumMaps(); ++channel)
    if (mesh.mapSupport(channel)) return TRUE;
  return FALSE;
}
