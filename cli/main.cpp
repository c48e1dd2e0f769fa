// zindrel-convert: a picture to Chinese-character art on standard output or
// into a file. The work is done by the pieces in this folder and the engine;
// this file reads the command line and reports failures.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>

#include "cli/art_text.h"
#include "cli/options.h"
#include "cli/output.h"
#include "convert/matcher.h"
#include "core/errors.h"
#include "glyphs/glyph_table.h"
#include "metafile/metafile.h"
#include "pictures/picture.h"
#include "render/art_render.h"
#include "render/pending_file.h"

#ifndef ZINDREL_VERSION
#define ZINDREL_VERSION "unknown"
#endif

namespace {

using namespace zindrel;
using namespace zindrel::cli;

constexpr const char* kProgram = "zindrel-convert";
constexpr int kMaxPictureSide = 32767;

int Report(const std::string& subject, const std::string& reason, int code) {
  if (subject.empty())
    std::fprintf(stderr, "%s: %s\n", kProgram, reason.c_str());
  else
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, subject.c_str(), reason.c_str());
  return code;
}

// A picture that decoded with something odd about it: one line naming the
// file and every oddity, and the conversion goes on.
void Warn(const std::string& subject, const PictureWarnings& warnings) {
  std::string text;
  for (const std::string& warning : warnings) text += (text.empty() ? "" : "; ") + warning;
  std::fprintf(stderr, "%s: %s: warning: %s\n", kProgram, subject.c_str(), text.c_str());
}

// Metafiles may hold text, and text needs the GUI part of Qt for its fonts.
// Standard input is not looked at before it is read, so it gets fonts too.
bool PictureNeedsFonts(const std::vector<std::string>& rawArgs) {
  ParsedCommandLine parsed;
  try {
    parsed = ParseCommandLine(rawArgs);
  } catch (const UsageError&) {
    return false;
  }
  if (parsed.action != Action::Convert) return false;
  if (parsed.options.picture == "-") return true;
  // Only a regular file is looked into here: opening a FIFO would wait for a
  // writer, and devices and folders are refused later with their message.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(std::filesystem::u8path(parsed.options.picture), ec)) return false;
  QFile file(QString::fromLocal8Bit(parsed.options.picture.c_str()));
  if (!file.open(QIODevice::ReadOnly)) return false;
  return IsMetafile(file.read(64));
}

// The picture the art was made from as a PNG, encoded in memory and written
// like -o: beside the target, then renamed over it.
void WritePicturePng(const QImage& picture, const std::string& path) {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!picture.save(&buffer, "PNG")) Raise(ErrorKind::WriteFailed, "(the picture cannot be encoded as PNG)");
  PendingFile file(path, png.toStdString());
  file.Commit();
}

int Convert(const Options& o) {
  // The file a failure is reported against, kept up to date step by step.
  std::string subject;
  try {
    const std::string tablePath =
        o.table.empty() ? DefaultTablePath(QCoreApplication::applicationDirPath().toStdString()) : o.table;
    // The table and its search index load on a thread of their own while the
    // picture decodes; a failing table is still reported before a failing
    // picture, as if the two were read one after the other.
    GlyphTable table;
    std::unique_ptr<Matcher> matcher;
    std::exception_ptr tableError;
    std::thread loader([&] {
      try {
        table = LoadGlyphTable(tablePath);
        matcher = std::make_unique<Matcher>(table);
      } catch (...) {
        tableError = std::current_exception();
      }
    });
    std::exception_ptr pictureError;
    QImage image;
    PictureWarnings warnings;
    try {
      image = o.picture == "-" ? DecodePictureBytes(ReadStandardInput(), "-", &warnings)
                               : DecodePictureFile(o.picture, &warnings);
    } catch (...) {
      pictureError = std::current_exception();
    }
    loader.join();
    subject = tablePath;
    if (tableError) std::rethrow_exception(tableError);
    subject = o.picture == "-" ? "standard input" : o.picture;
    if (pictureError) std::rethrow_exception(pictureError);
    if (!warnings.empty()) Warn(subject, warnings);
    if (image.width() > kMaxPictureSide || image.height() > kMaxPictureSide)
      Raise(ErrorKind::Overflow, "(the picture is " + std::to_string(image.width()) + "x" +
                                     std::to_string(image.height()) + " pixels; at most 32767 on a side)");
    const ImagePixelSource picture(image);

    GlyphRows rows;
    try {
      rows = ConvertPicture(*matcher, picture, ParametersOf(o));
    } catch (const RuntimeError& e) {
      if (e.kind() != ErrorKind::Overflow || !e.detail().empty()) throw;
      // A table without a glyph of level 1 or 84 lets a level window widen
      // until its counter overflows: that is the table's fault.
      if (table.LevelStart(1) == 0 || table.LevelStart(LEVEL_COUNT) == 0) {
        subject = tablePath;
        Raise(ErrorKind::Overflow, "(the table has no glyph of level 1 or of level 84)");
      }
      Raise(ErrorKind::Overflow, "(a pixel coordinate or a distance passed the 16-bit range)");
    }
    const std::string text = ArtText(table, rows, o.encoding, o.newline);

    const bool toFile = !o.output.empty() && o.output != "-";
    std::unique_ptr<PendingFile> pending;
    if (toFile) {
      subject = o.output;
      pending = std::make_unique<PendingFile>(o.output, text);
    }
    // Pictures this run made where no file was: removed again when a later
    // output fails, so a failed run leaves nothing new behind.
    std::vector<QString> made;
    auto forgetMade = [&made] {
      for (const QString& path : made) QFile::remove(path);
    };
    auto writeNew = [&](const std::string& path, const std::function<void()>& write) {
      subject = path;
      const bool existed = QFile::exists(QString::fromStdString(path));
      try {
        write();
      } catch (const RuntimeError&) {
        forgetMade();
        throw;
      }
      if (!existed) made.push_back(QString::fromStdString(path));
    };
    if (!o.png.empty())
      writeNew(o.png, [&] { RenderArtPng(ArtText(table, rows, Encoding::Utf8, Newline::CrLf), o.pngCell, o.png); });
    if (!o.savePicture.empty()) writeNew(o.savePicture, [&] { WritePicturePng(image, o.savePicture); });
    if (toFile) {
      subject = o.output;
      try {
        pending->Commit();
      } catch (const RuntimeError&) {
        forgetMade();
        throw;
      }
    } else {
      subject = "standard output";
      WriteStandardOutput(text);
    }
  } catch (const RuntimeError& e) {
    return Report(subject, e.message(), 1);
  } catch (const std::bad_alloc&) {
    return Report(subject, "out of memory", 1);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  UseBinaryStandardStreams();
  const std::vector<std::string> rawArgs(argv + (argc > 0 ? 1 : 0), argv + argc);

  // Drawing the art needs the GUI part of Qt; plain text does not. Without a
  // display the drawing runs on the offscreen platform.
  std::unique_ptr<QCoreApplication> app;
  if (WantsPng(rawArgs) || PictureNeedsFonts(rawArgs)) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The platform's start-up notes (such as a missing XDG_RUNTIME_DIR) are
    // not the user's business; standard error keeps to our own messages.
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
          if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(message));
        });
    app = std::make_unique<QGuiApplication>(argc, argv);
    qInstallMessageHandler(previous);
  } else {
    app = std::make_unique<QCoreApplication>(argc, argv);
  }

  std::vector<std::string> args;
  const QStringList arguments = QCoreApplication::arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i) args.push_back(arguments[i].toStdString());

  ParsedCommandLine parsed;
  try {
    parsed = ParseCommandLine(args);
  } catch (const UsageError& e) {
    return Report({}, std::string(e.what()) + " (see --help)", 2);
  }
  switch (parsed.action) {
    case Action::Help: {
      try {
        WriteStandardOutput(HelpText());
      } catch (const RuntimeError& e) {
        return Report("standard output", e.message(), 1);
      }
      return 0;
    }
    case Action::Version: {
      try {
        WriteStandardOutput(std::string(kProgram) + " " + ZINDREL_VERSION + "\n");
      } catch (const RuntimeError& e) {
        return Report("standard output", e.message(), 1);
      }
      return 0;
    }
    case Action::Convert: break;
  }
  return Convert(parsed.options);
}
