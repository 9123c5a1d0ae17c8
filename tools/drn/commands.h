// The verbs of the drn tool; each returns the process exit status.
#pragma once

namespace drn {

int RunClasses(int argc, char** argv);

}  // namespace drn
