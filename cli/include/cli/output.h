// Where the art goes: standard output in binary mode, or a file that is
// written beside its target and renamed over it only when all went well.
#pragma once

#include <memory>
#include <string>

#include <QByteArray>

class QFile;
class QSaveFile;

namespace zindrel::cli {

// Puts standard input and output into binary mode (no line-end
// translation) on systems that have such a distinction.
void UseBinaryStandardStreams();

// Writes bytes to standard output and flushes. Raises WriteFailed.
void WriteStandardOutput(const std::string& bytes);

// Reads all of standard input. Raises FileAccess when reading fails.
QByteArray ReadStandardInput();

// A file whose new content stays in a temporary file beside it until
// Commit; without Commit (or on any failure) the temporary file is removed
// and an existing file keeps its content.
class PendingFile {
 public:
  // Creates the temporary file and writes bytes into it. Raises
  // FileAccess (e.g. a missing folder) or WriteFailed.
  PendingFile(const std::string& path, const std::string& bytes);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Renames the temporary file over the target. Raises WriteFailed.
  void Commit();

 private:
  std::unique_ptr<QSaveFile> file_;
  // An existing device or FIFO as the target: written straight into.
  std::unique_ptr<QFile> stream_;
};

}  // namespace zindrel::cli
