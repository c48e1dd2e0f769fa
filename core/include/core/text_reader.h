// Sequential reading of a text file: whole lines and delimited whole numbers,
// the two operations the glyph table is read with.
//
// Lines end at CR LF or at a bare CR; a bare LF is an ordinary character of
// the line. A number may be preceded by blanks and line ends, and ends at a
// comma, a blank or a line end; the delimiter that ends it is consumed (for a
// blank, the blanks that follow and then one comma or one line end).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zindrel {

class SequentialTextReader {
 public:
  // Longest line accepted: a longer one is no text line at all (it would be
  // read whole into memory otherwise) and raises the invalid file format error,
  // or the read-past-end error when it runs to the end of the file.
  static constexpr std::size_t kMaxLine = 64 * 1024;

  // Opens for input. Raises FileNotFound when there is no such file and
  // FileAccess when it cannot be opened or is not a regular file.
  explicit SequentialTextReader(const std::string& path);
  ~SequentialTextReader();
  SequentialTextReader(const SequentialTextReader&) = delete;
  SequentialTextReader& operator=(const SequentialTextReader&) = delete;

  // Reads one line without its line end. At the end of the file raises
  // ReadPastEnd.
  std::string ReadLine();

  // Reads one delimited number into a 16-bit integer. Raises ReadPastEnd at
  // the end of the file, Overflow for a number outside -32768..32767 and
  // TypeMismatch for a field that is not a whole decimal number.
  int16_t ReadInt16();

  bool AtEnd();
  void Close();

 private:
  int Peek();
  int Get();
  bool ReadPlainInt16(int16_t& out);
  [[noreturn]] void SkipLongLine(int c);
  bool Fill();

  std::FILE* file_ = nullptr;
  std::vector<unsigned char> buffer_;
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  bool eof_ = false;
};

}  // namespace zindrel
