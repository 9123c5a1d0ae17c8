// The verbs of the drn tool; each returns the process exit status.
#pragma once

#include <string>

#include "objectmodel/stream.h"

namespace drn {

int RunClasses(int argc, char** argv);
int RunInfo(int argc, char** argv);
int RunDump(int argc, char** argv);
int RunCopy(int argc, char** argv);
int RunSample(int argc, char** argv);
int RunEval(int argc, char** argv);
int RunImage(int argc, char** argv);
int RunHost(int argc, char** argv);
int RunTree(int argc, char** argv);
int RunExport(int argc, char** argv);

// The text `drn dump` prints for a loaded stream: the thumbnail, the listed
// objects, the extension records and the roots, each with what it owns;
// then every other object the root tree delivered (such as a geometry's
// bone boxes, or records only plain references name), under its position
// in the root tree. Every object appears once.
std::string DumpSceneText(const KT::CStream& stream);

}  // namespace drn
