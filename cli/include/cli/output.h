// Where the art goes: standard output in binary mode (a file goes through
// render/pending_file.h).
#pragma once

#include <string>

namespace zindrel::cli {

// Puts standard input and output into binary mode (no line-end
// translation) on systems that have such a distinction.
void UseBinaryStandardStreams();

// Writes bytes to standard output and flushes. Raises WriteFailed.
void WriteStandardOutput(const std::string& bytes);

// Reads all of standard input. Raises FileAccess when reading fails.
std::string ReadStandardInput();

// Whether standard output is a terminal.
bool StandardOutputIsTerminal();

// The width in columns of the terminal on standard output, or 0 when
// standard output is no terminal or its width is unknown.
int TerminalColumns();

}  // namespace zindrel::cli
