// Run-time errors of the system: every failure carries a kind, a number and a
// description, plus an optional detail that says where it happened.
#pragma once

#include <stdexcept>
#include <string>

namespace zindrel {

enum class ErrorKind {
  InvalidCall,     // 5   Invalid procedure call or argument (also a NaN result)
  Overflow,        // 6   16-bit arithmetic or conversion, floating-point overflow
  OutOfMemory,     // 7
  OutOfRange,      // 9   Subscript out of range
  DivisionByZero,  // 11
  TypeMismatch,    // 13  a field that is not a whole number
  FileNotFound,    // 53
  ReadPastEnd,     // 62  Input past end of file
  FileAccess,      // 75  Path/File access error (directories, unreadable files)
  InvalidFormat,   // 321 Invalid file format
  InvalidPicture,  // 481 Invalid picture
  WriteFailed,     // 57  Device I/O error (an output that cannot be written)
  Cancelled,       // 32755 Cancel was selected.
};

int ErrorNumber(ErrorKind kind);
// The description as the error report shows it, e.g. "Input past end of file".
const char* ErrorDescription(ErrorKind kind);

class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(ErrorKind kind, std::string detail = {});

  ErrorKind kind() const { return kind_; }
  int number() const { return ErrorNumber(kind_); }
  std::string description() const { return ErrorDescription(kind_); }
  // Where or why, e.g. "in record 14924"; may be empty.
  const std::string& detail() const { return detail_; }
  // One line for a terminal: description with a lower-case first letter,
  // then the detail: "input past end of file in record 14924".
  std::string message() const;

 private:
  ErrorKind kind_;
  std::string detail_;
};

[[noreturn]] void Raise(ErrorKind kind, std::string detail = {});

}  // namespace zindrel
