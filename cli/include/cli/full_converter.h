// The full converter, zindrel-convert-full, beside zindrel-convert in the
// same folder: the converter on Qt, with every picture kind and output.
#pragma once

#include <string>

namespace zindrel::cli {

// The folder of the running program, with the links to it resolved, as
// Qt's applicationDirPath gives it; empty when it cannot be told.
std::string ProgramDirectory();

// Runs the full converter on this process's command line, with the same
// standard streams, and returns its exit status (on systems where it
// replaces this process, returns only when it could not be started). A
// full converter that cannot be started is reported, with status 1.
int RunFullConverter(int argc, char** argv);

}  // namespace zindrel::cli
