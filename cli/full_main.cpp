// zindrel-convert-full: the converter with every kind of picture and every
// output, on Qt. zindrel-convert (main.cpp) runs it for everything beyond
// its quick path; it is the same program to the user, under the same name.
// The work is done by the pieces in this folder and the engine; this file
// reads the command line and reports failures.
#include <algorithm>
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
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include "cli/art_text.h"
#include "cli/measured_image.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/report.h"
#include "convert/matcher.h"
#include "convert/run.h"
#include "core/errors.h"
#include "glyphs/glyph_table.h"
#include "metafile/metafile.h"
#include "pictures/picture.h"
#include "pictures/picture_rows.h"
#include "render/art_html.h"
#include "render/art_render.h"
#include "render/pending_file.h"

#ifndef ZINDREL_VERSION
#define ZINDREL_VERSION "unknown"
#endif

namespace {

using namespace zindrel;
using namespace zindrel::cli;

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
  for (const std::string& picture : parsed.options.pictures) {
    if (picture == "-") return true;
    // Only a regular file is looked into here: opening a FIFO would wait for a
    // writer, and devices and folders are refused later with their message.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::u8path(picture), ec)) continue;
    QFile file(QString::fromLocal8Bit(picture.c_str()));
    if (file.open(QIODevice::ReadOnly) && IsMetafile(file.read(64))) return true;
  }
  return false;
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

// A picture opened: decoded whole, or (JPEG and PNG) its header read and
// its rows to come as they convert; or the error that stopped it, with its
// oddities.
struct Decoded {
  QImage image;
  std::unique_ptr<RowStream> stream;
  // Held apart, so that its address stays when a Decoded is moved: a
  // stream's decoder adds the warnings it meets while its rows are read.
  std::unique_ptr<PictureWarnings> warnings = std::make_unique<PictureWarnings>();
  std::exception_ptr error;
};

// Reads a picture and opens its rows when it streams: --save-picture writes
// the whole picture, so a picture is then decoded whole; every other option
// works on the rows as they stream. `bytes` keeps a picture that does not
// stream for DecodeWhole.
Decoded OpenPicture(const std::string& picture, const Options& o, QByteArray& bytes) {
  Decoded d;
  try {
    bytes = picture == "-" ? QByteArray::fromStdString(ReadStandardInput()) : ReadPictureBytes(picture);
    if (o.savePicture.empty()) d.stream = OpenPictureRows(bytes, d.warnings.get());
  } catch (...) {
    d.error = std::current_exception();
  }
  return d;
}

// Decodes a picture OpenPicture read that does not stream.
void DecodeWhole(Decoded& d, const std::string& picture, const QByteArray& bytes) {
  if (d.stream || d.error) return;
  try {
    d.image = DecodePictureBytes(bytes, picture, d.warnings.get());
  } catch (...) {
    d.error = std::current_exception();
  }
}

Decoded Decode(const std::string& picture, const Options& o) {
  QByteArray bytes;
  Decoded d = OpenPicture(picture, o, bytes);
  DecodeWhole(d, picture, bytes);
  return d;
}

// The table failed to load while the first picture was already streaming.
struct TableFailed {
  std::exception_ptr error;
};

std::string PictureSubject(const std::string& picture) { return picture == "-" ? "standard input" : picture; }

// The title of a picture's HTML page: its file name without the folders.
std::string PictureTitle(const std::string& picture) {
  if (picture == "-") return "standard input";
  return std::filesystem::u8path(picture).filename().u8string();
}

// What one run shares among its pictures.
struct Run {
  explicit Run(const Options& options) : o(options) {}
  const Options& o;
  std::string tablePath;
  const GlyphTable* table = nullptr;
  // The matcher, waiting for the table when it is still loading; it raises
  // TableFailed when the table cannot be had.
  std::function<const Matcher&()> matcher;
  int columns = 0;           // scale to this many glyphs; 0: not scaled
  bool artOnStdout = false;  // some art is written to standard output already
  int widestOnStdout = 0;    // cells of the widest row written there
};

// Converts one picture and writes its outputs. Returns the exit status: 0,
// or 1 after reporting the failure.
int ConvertOne(Run& run, const std::string& picture, Decoded decoded) {
  const Options& o = run.o;
  // The file a failure is reported against, kept up to date step by step.
  std::string subject = PictureSubject(picture);
  try {
    if (decoded.error) std::rethrow_exception(decoded.error);
    const bool streamed = decoded.stream != nullptr;
    // A streamed picture's warnings are complete only once it is read.
    if (!streamed && !decoded.warnings->empty()) Warn(subject, *decoded.warnings);
    const int width = streamed ? decoded.stream->Width() : decoded.image.width();
    const int height = streamed ? decoded.stream->Height() : decoded.image.height();
    const PictureSize target =
        run.columns > 0 ? ArtPictureSize(width, height, run.columns, static_cast<int16_t>(o.cellSize)) : PictureSize{};
    QImage measured;
    std::unique_ptr<RowStream> measuredRows;
    if (streamed) {
      try {
        measuredRows = MeasuredRows(std::move(decoded.stream), o.invert, target);
      } catch (const RuntimeError&) {
        run.matcher();  // a failing table is reported before the picture
        if (!decoded.warnings->empty()) Warn(subject, *decoded.warnings);
        throw;
      }
    } else {
      measured = MeasuredPicture(std::move(decoded.image), o.invert, target);
    }

    const bool coloured = o.colour != ColourMode::None;
    StreamedArt art;
    GlyphRows& rows = art.rows;
    ColourRows& colours = art.colours;
    try {
      if (streamed) {
        try {
          art = ConvertStreamedArt(run.matcher, *measuredRows, o);
        } catch (const RuntimeError& e) {
          // A damaged picture is reported alone, as when it was decoded
          // before converting; an error of the conversion follows the
          // picture's warnings.
          if (e.kind() != ErrorKind::InvalidPicture && !decoded.warnings->empty()) Warn(subject, *decoded.warnings);
          throw;
        }
        if (!decoded.warnings->empty()) Warn(subject, *decoded.warnings);
      } else {
        rows =
            ConvertPicture(run.matcher(), ImagePixelSource(measured), ParametersOf(o), coloured ? &colours : nullptr);
        if (coloured && o.invert) TurnColoursBack(colours);
      }
    } catch (const RuntimeError& e) {
      if (e.kind() != ErrorKind::Overflow || !e.detail().empty()) throw;
      // A table without a glyph of level 1 or 84 lets a level window widen
      // until its counter overflows: that is the table's fault.
      const GlyphTable& table = *run.table;
      if (table.LevelStart(1) == 0 || table.LevelStart(LEVEL_COUNT) == 0) {
        subject = run.tablePath;
        Raise(ErrorKind::Overflow, "(the table has no glyph of level 1 or of level 84)");
      }
      Raise(ErrorKind::Overflow, "(a pixel coordinate or a distance passed the 16-bit range)");
    }
    const GlyphTable& table = *run.table;
    const std::string text = streamed   ? std::move(art.text)
                             : coloured ? ColouredArtText(table, rows, colours, o.colour, o.encoding, o.newline)
                                        : ArtText(table, rows, o.encoding, o.newline);

    const bool toFile = !o.output.empty() && o.output != "-";
    const std::string textPath = !toFile           ? std::string()
                                 : o.intoFolders() ? FolderFile(o.output, picture, "txt")
                                                   : o.output;
    std::unique_ptr<PendingFile> pending;
    if (toFile) {
      subject = textPath;
      pending = std::make_unique<PendingFile>(textPath, text);
    }
    // Files this picture made where no file was: removed again when a later
    // output fails, so a failed picture leaves nothing new behind.
    std::vector<QString> made;
    auto writeNew = [&](const std::string& path, const std::function<void()>& write) {
      subject = path;
      const bool existed = QFile::exists(QString::fromStdString(path));
      write();
      if (!existed) made.push_back(QString::fromStdString(path));
    };
    // An output of this picture: the option's file, or its file in the
    // option's folder.
    auto output = [&](const std::string& option, const char* extension) {
      return o.intoFolders() ? FolderFile(option, picture, extension) : option;
    };
    try {
      if (!o.png.empty() || !o.html.empty()) {
        const std::string utf8 = ArtText(table, rows, Encoding::Utf8, Newline::CrLf);
        ArtColours drawing = o.invert ? BlackOnWhite() : ArtColours();
        if (coloured) drawing.characters = CharacterColours(table, rows, colours, o.colour);
        if (!o.png.empty()) writeNew(output(o.png, "png"), [&] { RenderArtPng(utf8, o.pngCell, subject, drawing); });
        if (!o.html.empty())
          writeNew(output(o.html, "html"),
                   [&] { PendingFile(subject, ArtHtml(utf8, o.pngCell, drawing, PictureTitle(picture))).Commit(); });
      }
      if (!o.savePicture.empty()) writeNew(output(o.savePicture, "png"), [&] { WritePicturePng(measured, subject); });
      if (toFile) {
        subject = textPath;
        pending->Commit();
      } else {
        subject = "standard output";
        const std::string separator = o.newline == Newline::CrLf ? "\r\n" : "\n";
        WriteStandardOutput(run.artOnStdout ? separator + text : text);
        run.artOnStdout = true;
        for (const std::vector<int>& row : rows)
          run.widestOnStdout = std::max(run.widestOnStdout, static_cast<int>(row.size()));
      }
    } catch (...) {
      for (const QString& path : made) QFile::remove(path);
      throw;
    }
  } catch (const RuntimeError& e) {
    return Report(subject, e.message(), 1);
  } catch (const std::bad_alloc&) {
    return Report(subject, "out of memory", 1);
  }
  return 0;
}

// Each of -o, --png, --html and --save-picture that names a folder for
// several pictures: made when missing. Raises FileAccess for one that cannot be a folder.
void MakeFolders(const Options& o, std::string& subject) {
  for (const std::string& folder : {o.output == "-" ? std::string() : o.output, o.png, o.html, o.savePicture}) {
    if (folder.empty()) continue;
    subject = folder;
    const QFileInfo info(QString::fromStdString(folder));
    if (info.exists() && !info.isDir()) Raise(ErrorKind::FileAccess, "(not a folder)");
    if (!info.exists() && !QDir().mkpath(QString::fromStdString(folder)))
      Raise(ErrorKind::FileAccess, "(cannot make the folder)");
  }
}

int Convert(const Options& o, int columns) {
  std::string subject;
  Run run(o);
  run.columns = columns;
  try {
    if (o.intoFolders()) MakeFolders(o, subject);
    run.tablePath = o.table.empty() ? DefaultTablePath(QCoreApplication::applicationDirPath().toStdString()) : o.table;
  } catch (const RuntimeError& e) {
    return Report(subject, e.message(), 1);
  }
  // The table and its search index load while the first picture decodes: a
  // JPEG or PNG streams into the conversion before the table is there (its
  // decoder starts first, and the table loads on the calling thread while
  // it works); any other picture decodes whole while the table loads on a
  // thread of its own. A failing table is still reported before a failing
  // picture, as if the two were read one after the other.
  // Made by the loader only (an empty table would take its memory too).
  std::unique_ptr<GlyphTable> table;
  std::unique_ptr<Matcher> matcher;
  std::exception_ptr tableError;
  bool tableRead = false;
  const auto loadTable = [&] {
    try {
      table = std::make_unique<GlyphTable>(LoadGlyphTable(run.tablePath));
      matcher = std::make_unique<Matcher>(*table);
    } catch (...) {
      tableError = std::current_exception();
    }
    tableRead = true;
  };
  std::thread loader;
  struct JoinAtExit {
    std::thread& thread;
    ~JoinAtExit() {
      if (thread.joinable()) thread.join();
    }
  } joinLoader{loader};
  run.matcher = [&]() -> const Matcher& {
    if (loader.joinable()) loader.join();
    if (!tableRead) loadTable();
    if (tableError) throw TableFailed{tableError};
    run.table = table.get();
    return *matcher;
  };
  const auto reportTable = [&](const TableFailed& failed) {
    try {
      std::rethrow_exception(failed.error);
    } catch (const RuntimeError& e) {
      return Report(run.tablePath, e.message(), 1);
    } catch (const std::bad_alloc&) {
      return Report(run.tablePath, "out of memory", 1);
    }
  };
  QByteArray firstBytes;
  Decoded first = OpenPicture(o.pictures.front(), o, firstBytes);
  if (!first.stream) {
    loader = std::thread(loadTable);
    DecodeWhole(first, o.pictures.front(), firstBytes);
  }
  firstBytes = QByteArray();
  int status = 0;
  try {
    // Only a picture that streams starts converting before the table is
    // there; any other waits for it here.
    if (!first.stream) run.matcher();
    status = ConvertOne(run, o.pictures.front(), std::move(first));
  } catch (const TableFailed& failed) {
    return reportTable(failed);
  }
  for (size_t i = 1; i < o.pictures.size(); ++i) status |= ConvertOne(run, o.pictures[i], Decode(o.pictures[i], o));

  HintWhenWiderThanTerminal(o.width != 0 || o.fit, run.artOnStdout ? run.widestOnStdout : 0);
  return status;
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
  int columns = 0;
  try {
    if (parsed.action == Action::Convert) columns = ArtColumns(parsed.options);
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
        WriteStandardOutput(std::string(kProgramName) + " " + ZINDREL_VERSION + "\n");
      } catch (const RuntimeError& e) {
        return Report("standard output", e.message(), 1);
      }
      return 0;
    }
    case Action::Convert: break;
  }
  return Convert(parsed.options, columns);
}
