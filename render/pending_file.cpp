#include "render/pending_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "core/errors.h"

namespace zindrel {

namespace {
std::string Reason(const QString& text) { return "(" + text.toLower().toStdString() + ")"; }
}  // namespace

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

}  // namespace zindrel
