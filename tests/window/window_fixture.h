// A real Form1 with the shipped glyph table, a scripted open dialog and a
// reporter that records instead of showing message boxes.
#pragma once

#include <gtest/gtest.h>
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "support/files.h"
#include "window/form1.h"

namespace zindrel::testing {

// The source tree's data folder (support/files.h), where the window finds
// the sample picture and the table.
inline QString DataDir() { return QString::fromStdString(SourceDir() + "/data"); }

// A picture with some structure, so that different cells get different
// glyphs: a dark disc and a gradient bar on white.
inline QImage TestPicture(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const double dx = x - width / 2.0, dy = y - height / 2.0;
      const double r = 0.35 * std::min(width, height);
      int v = dx * dx + dy * dy < r * r ? 40 : 235;
      if (y > height * 3 / 4) v = 255 * x / std::max(1, width - 1);
      image.setPixel(x, y, qRgb(v, (v + x) % 256, 255 - v));
    }
  return image;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.isValid());
    form_ = MakeForm(DataDir());
  }

  // Starts the form; on failure says what was reported.
  ::testing::AssertionResult Start(Form1& form) {
    if (StartForm(form)) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << "start-up failed";
    for (const ErrorReport& r : reports_) failure << ": " << ReportText(r).toStdString();
    return failure;
  }

  std::unique_ptr<Form1> MakeForm(const QString& programDirectory) {
    FormOptions options;
    options.programDirectory = programDirectory;
    options.asker = [this](QWidget*, const QString& title, const QString& filter,
                           const QString& start) -> std::optional<QString> {
      asked_.push_back({title, filter, start});
      return answer_;
    };
    options.reporter = [this](QWidget*, const ErrorReport& report) { reports_.push_back(report); };
    options.pumpMicroseconds = pumpMicroseconds_;
    return std::make_unique<Form1>(options);
  }

  // Writes a picture into the temporary directory and returns its path.
  QString WritePicture(const QImage& image, const QString& name) {
    const QString path = temp_.filePath(name);
    EXPECT_TRUE(image.save(path)) << path.toStdString();
    return path;
  }

  // Loads a file through the Load Picture button, the dialog answering path.
  void Load(const QString& path) {
    answer_ = path;
    form_->CmdLoad->click();
  }

  // Calls check after every cell of a run (from inside its event pump; with
  // pumpMicroseconds_ above 0, at every pump) until it returns true.
  void DuringRun(std::function<bool()> check) {
    auto* timer = new QTimer(form_.get());
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, check = std::move(check)] {
      if (check()) timer->stop();
    });
    timer->start();
  }

  struct Asked {
    QString title, filter, start;
  };

  // The tests that follow a run cell by cell have it handle events after
  // every cell; the program's own interval is tested on its own.
  int pumpMicroseconds_ = 0;
  QTemporaryDir temp_;
  std::unique_ptr<Form1> form_;
  std::optional<QString> answer_;
  std::vector<Asked> asked_;
  std::vector<ErrorReport> reports_;
};

// Drags data onto a widget and drops it there, as a file manager does;
// returns whether the widget took it. The load runs after the drop.
inline bool DropOn(QWidget* target, const QMimeData& data) {
  const QPoint at = target->rect().center();
  const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
  QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(at), offered, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &drop);
  QCoreApplication::processEvents();
  return drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
}

inline QMimeData* Files(const QStringList& paths) {
  auto* data = new QMimeData;
  QList<QUrl> urls;
  for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
  data->setUrls(urls);
  return data;
}

// The lines of the output as the user sees them (without their CR LF).
inline QStringList Rows(const QString& output) { return output.split(QStringLiteral("\r\n")); }

}  // namespace zindrel::testing
