#include "cli/report.h"

#include <cstdio>

#include "cli/output.h"

namespace zindrel::cli {

int Report(const std::string& subject, const std::string& reason, int code) {
  if (subject.empty())
    std::fprintf(stderr, "%s: %s\n", kProgramName, reason.c_str());
  else
    std::fprintf(stderr, "%s: %s: %s\n", kProgramName, subject.c_str(), reason.c_str());
  return code;
}

void Warn(const std::string& subject, const std::vector<std::string>& warnings) {
  std::string text;
  for (const std::string& warning : warnings) text += (text.empty() ? "" : "; ") + warning;
  std::fprintf(stderr, "%s: %s: warning: %s\n", kProgramName, subject.c_str(), text.c_str());
}

void HintWhenWiderThanTerminal(bool widthAsked, int widestOnStdout) {
  if (widthAsked || widestOnStdout == 0) return;
  const int terminal = TerminalColumns();
  // Two terminal columns to a glyph.
  if (terminal > 0 && 2 * widestOnStdout > terminal)
    std::fprintf(stderr, "%s: hint: the art is %d columns wide, the terminal %d; try --fit\n", kProgramName,
                 2 * widestOnStdout, terminal);
}

}  // namespace zindrel::cli
