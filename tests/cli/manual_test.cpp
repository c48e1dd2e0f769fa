// The manual pages: zindrel-convert.1 lists the options --help lists, in
// the same order and spelling, and both pages format without a warning.
#include <gtest/gtest.h>

#include <QStandardPaths>
#include <regex>
#include <sstream>

#include "cli_run.h"
#include "support/files.h"

namespace zindrel {
namespace {

std::string ManPage(const std::string& name) { return testing::SourceDir() + "/packaging/man/" + name; }

// "-s, --size N" for each option line of the help text.
std::vector<std::string> HelpOptions(const std::string& help) {
  std::vector<std::string> options;
  std::istringstream lines(help);
  const std::regex entry(R"(^  +(-[^ ]+(?: [^ ]+)*?)(?:  .*)?$)");
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (std::regex_match(line, m, entry)) options.push_back(m[1]);
  }
  return options;
}

// The same from the paragraph tags (.TP) of the manual page, with its font
// changes and escaped hyphens undone.
std::vector<std::string> ManOptions(const std::string& page) {
  std::vector<std::string> options;
  std::istringstream lines(page);
  bool tag = false;
  for (std::string line; std::getline(lines, line);) {
    if (tag) {
      line = std::regex_replace(line, std::regex(R"(\\f[BIRP])"), "");
      line = std::regex_replace(line, std::regex(R"(\\-)"), "-");
      if (line.rfind("-", 0) == 0) options.push_back(line);
    }
    tag = line == ".TP";
  }
  return options;
}

TEST(Manual, ListsTheOptionsOfTheHelpInItsOrder) {
  const clitest::Outcome help = clitest::RunCli({"--help"});
  ASSERT_EQ(help.code, 0);
  const std::vector<std::string> fromHelp = HelpOptions(clitest::Str(help.out));
  ASSERT_EQ(fromHelp.size(), 17u);
  EXPECT_EQ(fromHelp.front(), "-s, --size N");
  EXPECT_EQ(ManOptions(testing::ReadBytes(ManPage("zindrel-convert.1"))), fromHelp);
}

TEST(Manual, PagesFormatWithoutWarnings) {
  const QString groff = QStandardPaths::findExecutable("groff");
  if (groff.isEmpty()) GTEST_SKIP() << "no groff to format the pages";
  for (const char* page : {"zindrel-convert.1", "zindrel.1"}) {
    const testing::ProgramResult r =
        testing::RunProgram(groff.toStdString(), {"-man", "-ww", "-z", QString::fromStdString(ManPage(page))});
    EXPECT_EQ(r.exitCode, 0) << page;
    EXPECT_EQ(r.err.toStdString(), "") << page;
  }
}

}  // namespace
}  // namespace zindrel
