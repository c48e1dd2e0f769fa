#include "core/text_reader.h"

#include <filesystem>
#include <system_error>

#include "core/errors.h"

namespace zindrel {

namespace {
constexpr int kEof = -1;
bool IsBlank(int c) { return c == ' ' || c == '\t'; }
}  // namespace

SequentialTextReader::SequentialTextReader(const std::string& path) : buffer_(64 * 1024) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path p = fs::u8path(path);
  fs::file_status status = fs::status(p, ec);
  if (status.type() == fs::file_type::not_found) Raise(ErrorKind::FileNotFound);
  if (ec) Raise(ErrorKind::FileAccess);
  if (status.type() == fs::file_type::directory) Raise(ErrorKind::FileAccess, "(a directory)");
  // A device or a FIFO has no end to read to (or blocks the open until a
  // writer comes): only a regular file is read.
  if (status.type() != fs::file_type::regular) Raise(ErrorKind::FileAccess, "(not a regular file)");
#ifdef _WIN32
  file_ = _wfopen(p.c_str(), L"rb");
#else
  file_ = std::fopen(p.c_str(), "rb");
#endif
  if (!file_) Raise(ErrorKind::FileAccess);
}

SequentialTextReader::~SequentialTextReader() { Close(); }

void SequentialTextReader::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

bool SequentialTextReader::Fill() {
  if (eof_ || !file_) return false;
  len_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
  pos_ = 0;
  if (len_ == 0) {
    eof_ = true;
    return false;
  }
  return true;
}

int SequentialTextReader::Peek() {
  if (pos_ >= len_ && !Fill()) return kEof;
  return buffer_[pos_];
}

int SequentialTextReader::Get() {
  if (pos_ >= len_ && !Fill()) return kEof;
  return buffer_[pos_++];
}

bool SequentialTextReader::AtEnd() { return Peek() == kEof; }

void SequentialTextReader::SkipLongLine(int c) {
  // The line is not kept, but where it ends still decides the error: a line
  // that runs to the end of the file leaves nothing for what must follow it
  // (as with a file whose lines end with a bare LF, which is one line).
  bool bareLf = false;
  while (c != kEof && c != '\r') {
    bareLf = bareLf || c == '\n';
    c = Get();
  }
  if (c == kEof)
    Raise(ErrorKind::ReadPastEnd, bareLf ? "(the rest of the file is one line: its lines end with a bare LF, not CR LF)"
                                         : "(the rest of the file is one line)");
  Raise(ErrorKind::InvalidFormat, "(a line longer than 64 KiB)");
}

std::string SequentialTextReader::ReadLine() {
  if (Peek() == kEof) Raise(ErrorKind::ReadPastEnd);
  std::string line;
  for (;;) {
    int c = Get();
    if (c == kEof) break;
    if (c == '\r') {
      if (Peek() == '\n') Get();
      break;
    }
    if (line.size() >= kMaxLine) SkipLongLine(c);
    line.push_back(static_cast<char>(c));
  }
  return line;
}

// A plain number lying wholly in the buffer: blanks and line ends, an
// optional sign, one to five digits ending the field, a value within
// range, and its delimiter. Returns false, having consumed nothing, for
// anything else, which the general reading below handles (and raises for);
// what it accepts it reads as that reading would.
bool SequentialTextReader::ReadPlainInt16(int16_t& out) {
  const unsigned char* b = buffer_.data();
  size_t p = pos_;
  while (p < len_ && (IsBlank(b[p]) || b[p] == '\r' || b[p] == '\n')) ++p;
  if (p >= len_) return false;
  bool negative = false;
  if (b[p] == '-' || b[p] == '+') negative = b[p++] == '-';
  const size_t digits = p;
  long value = 0;
  while (p < len_ && p - digits < 5 && b[p] >= '0' && b[p] <= '9') value = value * 10 + (b[p++] - '0');
  if (p == digits || p >= len_ || value > 32767) return false;
  const unsigned char end = b[p];
  if (end != ',' && end != '\r' && end != '\n' && !IsBlank(end)) return false;  // the field goes on
  // The delimiter: blanks, then one comma or one line end (a CR and the LF
  // after it).
  while (p < len_ && IsBlank(b[p])) ++p;
  if (p + 1 >= len_) return false;
  if (b[p] == ',' || b[p] == '\n') {
    ++p;
  } else if (b[p] == '\r') {
    p += b[p + 1] == '\n' ? 2 : 1;
  }
  pos_ = p;
  out = static_cast<int16_t>(negative ? -value : value);
  return true;
}

int16_t SequentialTextReader::ReadInt16() {
  int16_t plain = 0;
  if (ReadPlainInt16(plain)) return plain;
  int c = Peek();
  while (IsBlank(c) || c == '\r' || c == '\n') {
    Get();
    c = Peek();
  }
  if (c == kEof) Raise(ErrorKind::ReadPastEnd);

  // The field runs to a comma, a blank or a line end.
  std::string field;
  while (c != kEof && c != ',' && c != '\r' && c != '\n' && !IsBlank(c)) {
    if (field.size() >= 64) Raise(ErrorKind::TypeMismatch, "(a number field longer than 64 characters)");
    field.push_back(static_cast<char>(Get()));
    c = Peek();
  }
  // Consume the delimiter: blanks, then one comma or one line end.
  while (IsBlank(c)) {
    Get();
    c = Peek();
  }
  if (c == ',') {
    Get();
  } else if (c == '\r') {
    Get();
    if (Peek() == '\n') Get();
  } else if (c == '\n') {
    Get();
  }

  if (field.empty()) Raise(ErrorKind::TypeMismatch, "(an empty number field)");
  std::size_t i = 0;
  bool negative = false;
  if (field[0] == '-' || field[0] == '+') {
    negative = field[0] == '-';
    i = 1;
  }
  if (i == field.size()) Raise(ErrorKind::TypeMismatch, "(\"" + field + "\" is not a whole number)");
  long value = 0;
  for (; i < field.size(); ++i) {
    char d = field[i];
    if (d < '0' || d > '9') Raise(ErrorKind::TypeMismatch, "(\"" + field + "\" is not a whole number)");
    value = value * 10 + (d - '0');
    if (value > 32768) Raise(ErrorKind::Overflow, "(\"" + field + "\" is outside -32768..32767)");
  }
  if (negative) value = -value;
  if (value > 32767) Raise(ErrorKind::Overflow, "(\"" + field + "\" is outside -32768..32767)");
  return static_cast<int16_t>(value);
}

}  // namespace zindrel
