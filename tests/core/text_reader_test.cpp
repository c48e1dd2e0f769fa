// Reading delimited numbers: every way a number may stand (blanks, commas,
// line ends, signs, a field cut by the end of the reader's buffer) reads the
// same as the general reading, and what is no plain number still raises.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/errors.h"
#include "core/text_reader.h"
#include "support/files.h"

namespace zindrel {
namespace {

struct NumbersCase {
  const char* name;
  std::string text;
  std::vector<int> values;  // read in turn
  int failsAt = -1;         // the read that raises, if any
  ErrorKind error = ErrorKind::TypeMismatch;
};

void PrintTo(const NumbersCase& c, std::ostream* out) { *out << c.name; }

class DelimitedNumbers : public ::testing::TestWithParam<NumbersCase> {};

TEST_P(DelimitedNumbers, ReadAsWritten) {
  const NumbersCase& c = GetParam();
  // Once at the start of the file, then with each byte of the text in turn
  // the last one of the reader's 64 KiB buffer, so that every field and
  // delimiter is also read cut at the buffer's edge.
  std::vector<size_t> leads{0};
  const size_t edge = 64 * 1024 - 2;  // the lead line ends with CR LF
  for (size_t k = 0; k <= c.text.size() && k < edge; ++k) leads.push_back(edge - 1 - k);
  for (const size_t lead : leads) {
    testing::TempFolder folder;
    const std::string path = folder.Write("numbers.txt", std::string(lead, 'x') + "\r\n" + c.text);
    SequentialTextReader reader(path);
    reader.ReadLine();
    for (size_t i = 0; i < c.values.size() || static_cast<int>(i) == c.failsAt; ++i) {
      if (static_cast<int>(i) == c.failsAt) {
        try {
          reader.ReadInt16();
          ADD_FAILURE() << "read " << i << ", lead " << lead << " did not raise";
        } catch (const RuntimeError& e) {
          EXPECT_EQ(e.kind(), c.error) << "read " << i << ", lead " << lead;
        }
        break;
      }
      ASSERT_EQ(reader.ReadInt16(), c.values[i]) << "read " << i << ", lead " << lead;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, DelimitedNumbers,
    ::testing::Values(NumbersCase{"Commas", "1,22,333,4444,15\r\n", {1, 22, 333, 4444, 15}},
                      NumbersCase{"BlanksAndTabs", "  7 \t 8\t9   10\r\n", {7, 8, 9, 10}},
                      NumbersCase{"BlanksBeforeCommas", "5 , 6  ,7\r\n", {5, 6, 7}},
                      NumbersCase{"LineEnds", "1\r\n2\n3\r4\r\n\r\n5\r\n", {1, 2, 3, 4, 5}},
                      NumbersCase{"BlanksBeforeLineEnds", "11 \t\r\n12  \n 13\t\r14\r\n", {11, 12, 13, 14}},
                      NumbersCase{
                          "FiveDigitsEachWay", "12345,-12345,+32767,-32767\r\n", {12345, -12345, 32767, -32767}},
                      NumbersCase{"Signs", "-1,+2,-32768,32767,-0\r\n", {-1, 2, -32768, 32767, 0}},
                      NumbersCase{"LeadingZeros", "0007,000032767\r\n", {7, 32767}},
                      NumbersCase{"NumberThenText", "12 34x\r\n", {12}, 1}, NumbersCase{"Fraction", "3.5,4\r\n", {}, 0},
                      NumbersCase{"TooLarge", "32768\r\n", {}, 0, ErrorKind::Overflow},
                      NumbersCase{"TooSmall", "-32769\r\n", {}, 0, ErrorKind::Overflow},
                      NumbersCase{"SixDigits", "123456\r\n", {}, 0, ErrorKind::Overflow},
                      NumbersCase{"LoneSign", "-,5\r\n", {}, 0}, NumbersCase{"DoubleSign", "--5\r\n", {}, 0},
                      NumbersCase{"DigitsThenSign", "5-\r\n", {}, 0}, NumbersCase{"EmptyField", "4,,5\r\n", {4}, 1},
                      NumbersCase{"EndOfFile", "9", {9}, 1, ErrorKind::ReadPastEnd}),
    [](const ::testing::TestParamInfo<NumbersCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace zindrel
