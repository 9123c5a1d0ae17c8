// The verbs of the drn tool; each returns the process exit status.
#pragma once

namespace drn {

int RunClasses(int argc, char** argv);
int RunInfo(int argc, char** argv);
int RunDump(int argc, char** argv);
int RunCopy(int argc, char** argv);
int RunSample(int argc, char** argv);
int RunEval(int argc, char** argv);

}  // namespace drn
