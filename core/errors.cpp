#include "core/errors.h"

#include <cctype>

namespace zindrel {

int ErrorNumber(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::InvalidCall: return 5;
    case ErrorKind::Overflow: return 6;
    case ErrorKind::OutOfMemory: return 7;
    case ErrorKind::OutOfRange: return 9;
    case ErrorKind::DivisionByZero: return 11;
    case ErrorKind::TypeMismatch: return 13;
    case ErrorKind::FileNotFound: return 53;
    case ErrorKind::WriteFailed: return 57;
    case ErrorKind::ReadPastEnd: return 62;
    case ErrorKind::FileAccess: return 75;
    case ErrorKind::InvalidFormat: return 321;
    case ErrorKind::InvalidPicture: return 481;
    case ErrorKind::Cancelled: return 32755;
  }
  return 0;
}

const char* ErrorDescription(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::InvalidCall: return "Invalid procedure call or argument";
    case ErrorKind::Overflow: return "Overflow";
    case ErrorKind::OutOfMemory: return "Out of memory";
    case ErrorKind::OutOfRange: return "Subscript out of range";
    case ErrorKind::DivisionByZero: return "Division by zero";
    case ErrorKind::TypeMismatch: return "Type mismatch";
    case ErrorKind::FileNotFound: return "File not found";
    case ErrorKind::WriteFailed: return "Device I/O error";
    case ErrorKind::ReadPastEnd: return "Input past end of file";
    case ErrorKind::FileAccess: return "Path/File access error";
    case ErrorKind::InvalidFormat: return "Invalid file format";
    case ErrorKind::InvalidPicture: return "Invalid picture";
    case ErrorKind::Cancelled: return "Cancel was selected.";
  }
  return "Unknown error";
}

static std::string FullText(ErrorKind kind, const std::string& detail) {
  std::string text = ErrorDescription(kind);
  if (!detail.empty()) text += " " + detail;
  return text;
}

RuntimeError::RuntimeError(ErrorKind kind, std::string detail)
    : std::runtime_error(FullText(kind, detail)), kind_(kind), detail_(std::move(detail)) {}

std::string RuntimeError::message() const {
  std::string text = what();
  // Keep "Cancel was selected." and similar sentences as they are; lower-case
  // only a plain leading word so it reads inside "program: file: reason".
  if (!text.empty() && kind_ != ErrorKind::Cancelled)
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

void Raise(ErrorKind kind, std::string detail) { throw RuntimeError(kind, std::move(detail)); }

}  // namespace zindrel
