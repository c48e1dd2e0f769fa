// A file written as a whole or not at all: the new content goes to a
// temporary file beside the target, which is renamed over it at the end.
// The converter's -o and the window's Save Art As write their art this way.
#pragma once

#include <memory>
#include <string>

class QFile;
class QSaveFile;

namespace zindrel {

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

}  // namespace zindrel
