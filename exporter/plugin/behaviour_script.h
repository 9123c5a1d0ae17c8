// The behaviour script of an exported object: an XML document that offers
// one perform command and one animation clip per clip of the export,
// carried on the object as a KT::CXmlRawData custom-data record.
#pragma once

#include <string>
#include <vector>

#include "objectmodel/types.h"

namespace KT {
class CDorun;
}

// Builds the script for `clipNames` (narrow text, in clip order) from the
// library's template (KT::kBehaviourScriptTemplate) and appends it to
// `object`'s custom data. The document holds every "PerformCommand" under
// zObject/Commands/Perform, then every "AnimationClip" under
// zObject/Clips, each in clip order, printed without indentation or line
// breaks; the record's bytes are the text and one terminating zero.
// result: 0; 0x80000003 for a null object or no names; 0x80000002 when the
// record cannot be allocated; 0x80000000 when the template does not parse;
// 0x80000005 when it lacks "zObject", "Commands", "Perform" or "Clips".
// On a failure the object is left without a script.
void BuildBehaviourScriptXml(KT::Result& result, KT::CDorun* object, const std::vector<std::string>& clipNames);

// The same over an explicit template text (for the failure paths).
void BuildBehaviourScriptXmlFrom(KT::Result& result, KT::CDorun* object, const std::vector<std::string>& clipNames,
                                 const std::string& scriptTemplate);
