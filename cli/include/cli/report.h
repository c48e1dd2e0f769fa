// What the converter says on standard error: failures, a picture's
// oddities, and the hint about art wider than the terminal. One wording for
// the quick path and the full converter.
#pragma once

#include <string>
#include <vector>

namespace zindrel::cli {

// The name every message starts with.
constexpr const char* kProgramName = "zindrel-convert";

// "zindrel-convert: subject: reason" (or without the subject when it is
// empty); returns code, the exit status to give.
int Report(const std::string& subject, const std::string& reason, int code);

// A picture that decoded with something odd about it: one line naming the
// file and every oddity, and the conversion goes on.
void Warn(const std::string& subject, const std::vector<std::string>& warnings);

// Art wider than the terminal it went to wraps into a mess: says how to fit
// it, once, after the art, when art went to standard output with no width
// asked for and its widest row (in glyphs) is wider than the terminal.
void HintWhenWiderThanTerminal(bool widthAsked, int widestOnStdout);

}  // namespace zindrel::cli
