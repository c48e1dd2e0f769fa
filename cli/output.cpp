#include "cli/output.h"

#include <cstdio>
#include <cstring>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "core/errors.h"

namespace zindrel::cli {

namespace {
std::string Reason(const QString& text) { return "(" + text.toLower().toStdString() + ")"; }
}  // namespace

void UseBinaryStandardStreams() {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
#endif
}

void WriteStandardOutput(const std::string& bytes) {
  errno = 0;
  const std::size_t written = std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  if (written != bytes.size() || std::fflush(stdout) != 0 || std::ferror(stdout))
    Raise(ErrorKind::WriteFailed, errno ? "(" + std::string(std::strerror(errno)) + ")" : std::string());
}

QByteArray ReadStandardInput() {
  QByteArray data;
  char buffer[64 * 1024];
  for (;;) {
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, stdin);
    data.append(buffer, static_cast<qsizetype>(n));
    if (n < sizeof buffer) break;
  }
  if (std::ferror(stdin)) Raise(ErrorKind::FileAccess, "(reading standard input failed)");
  return data;
}

PendingFile::PendingFile(const std::string& path, const std::string& bytes)
    : file_(std::make_unique<QSaveFile>(QString::fromStdString(path))) {
  const QFileInfo target(QString::fromStdString(path));
  if (target.isDir()) Raise(ErrorKind::FileAccess, "(a directory)");
  const QFileInfo folder(target.absolutePath());
  if (!folder.exists()) Raise(ErrorKind::FileAccess, "(no such folder)");
  if (target.exists() && !target.isFile()) {
    // A device or a FIFO (/dev/null, /dev/full, a pipe) holds no content to
    // keep: it is written straight into. A temporary file renamed over it
    // would replace the device itself with a plain file.
    file_.reset();
    stream_ = std::make_unique<QFile>(QString::fromStdString(path));
    if (!stream_->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
      Raise(ErrorKind::FileAccess, Reason(stream_->errorString()));
    if (stream_->write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()))
      Raise(ErrorKind::WriteFailed, Reason(stream_->errorString()));
    return;
  }
  // Never write straight into the target, even where a temporary file
  // cannot be made beside it.
  file_->setDirectWriteFallback(false);
  if (!file_->open(QIODevice::WriteOnly)) Raise(ErrorKind::FileAccess, Reason(file_->errorString()));
  const qint64 n = file_->write(bytes.data(), static_cast<qint64>(bytes.size()));
  if (n != static_cast<qint64>(bytes.size())) {
    const std::string reason = Reason(file_->errorString());
    file_->cancelWriting();
    Raise(ErrorKind::WriteFailed, reason);
  }
}

PendingFile::~PendingFile() {
  // An uncommitted QSaveFile removes its temporary file when destroyed.
  if (file_ && file_->isOpen()) file_->cancelWriting();
}

void PendingFile::Commit() {
  if (stream_) {
    stream_->close();
    return;
  }
  if (!file_->commit()) Raise(ErrorKind::WriteFailed, Reason(file_->errorString()));
}

}  // namespace zindrel::cli
