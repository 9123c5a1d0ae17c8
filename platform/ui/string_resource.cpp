#include "platform/ui/string_resource.h"

#include <iterator>

namespace {

struct StringResource {
  int id;
  const char* text;
};

// Texts as the resources hold them, spelling included: users and
// documents quote them.
constexpr StringResource kStrings[] = {
    {6, "Missing body parts or wrong naming:"},
    {7, "\"%s\""},
    {8, "Needs material named \"%s\" for \"%s\" object."},
    {9, "Missing vetex named selection sets:"},
    {10, "\"%s\" in \"%s\" object."},
    {11, "Incorrect vertex numbers in Named Selection Sets:"},
    {12, "\"%s\" in \"%s\" object must contains %d vertices."},
    {13, "Vertex numbers in Named Selection Sets unmatched:"},
    {14, "\"%s\" in \"%s\" object & \"%s\" in \"%s\" object"},
    {15, "Found one or more critical errors. It will stop exporting."},
    {16, "Missing facial models or linkages:"},
    {17, "\"%s\""},
    {18, "Invalid character bones:"},
    {19, "\"%s\" should not appear."},
    {20, "Missing bone named \"%s\""},
    {21, "There is no character bone."},
    {22, "Invalid bone inherited flag:"},
    {23, "The Inherited flags of \"%s\" is not correct."},
    {24, "Invalid bone hierarchy:"},
    {25, "\"%s\" should have child bone \"%s\""},
};

}  // namespace

const char* FindStringResource(int id) {
  for (const StringResource& entry : kStrings)
    if (entry.id == id) return entry.text;
  return nullptr;
}
