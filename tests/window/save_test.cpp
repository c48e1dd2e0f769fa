// Save Art As: the output box's text written to a file as shown, CR LF after
// every row, in UTF-8 or GBK, replaced only when all of it is written.
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QProcess>
#include <QTest>

#include "core/errors.h"
#include "window/art_file.h"
#include "window_fixture.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zindrel::testing {
namespace {

struct BytesCase {
  const char* name;
  const char16_t* shown;
  ArtEncoding encoding;
  const char* bytes;
};

class ArtBytes : public ::testing::TestWithParam<BytesCase> {};

TEST_P(ArtBytes, EveryRowEndsWithCrLf) {
  const BytesCase& c = GetParam();
  EXPECT_EQ(ArtFileBytes(QString::fromStdU16String(c.shown), c.encoding), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(Texts, ArtBytes,
                         ::testing::Values(BytesCase{"empty", u"", ArtEncoding::Utf8, ""},
                                           BytesCase{"rows_utf8", u"\u554A\u4E2D\n\u3000\u2588\n", ArtEncoding::Utf8,
                                                     "\xE5\x95\x8A\xE4\xB8\xAD\r\n\xE3\x80\x80\xE2\x96\x88\r\n"},
                                           BytesCase{"rows_gbk", u"\u554A\u4E2D\n\u3000\u2588\n", ArtEncoding::Gbk,
                                                     "\xB0\xA1\xD6\xD0\r\n\xA1\xA1\xA8\x80\r\n"},
                                           // A last row the user typed without a line end gets one.
                                           BytesCase{"last_row_open", u"a\nb", ArtEncoding::Gbk, "a\r\nb\r\n"},
                                           BytesCase{"crlf_kept_once", u"a\r\nb\r\n", ArtEncoding::Utf8, "a\r\nb\r\n"},
                                           // Line and paragraph separators show as row ends.
                                           BytesCase{"separators", u"a\u2028b\u2029c", ArtEncoding::Gbk,
                                                     "a\r\nb\r\nc\r\n"},
                                           BytesCase{"empty_rows", u"\n\n", ArtEncoding::Utf8, "\r\n\r\n"}),
                         [](const auto& p) { return std::string(p.param.name); });

struct NoGbkCase {
  const char* name;
  const char16_t* shown;
  const char* where;
};

class NoGbk : public ::testing::TestWithParam<NoGbkCase> {};

TEST_P(NoGbk, TheCharacterAndItsPlaceAreNamed) {
  const NoGbkCase& c = GetParam();
  try {
    ArtFileBytes(QString::fromStdU16String(c.shown), ArtEncoding::Gbk);
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::InvalidCall);
    EXPECT_NE(e.detail().find(c.where), std::string::npos) << e.detail();
  }
  // UTF-8 holds it.
  EXPECT_FALSE(ArtFileBytes(QString::fromStdU16String(c.shown), ArtEncoding::Utf8).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NoGbk,
    ::testing::Values(NoGbkCase{"thai", u"\u554A\n\u4E2Dx\u0E01", "\"\u0E01\" (U+0E01) in row 2, column 3"},
                      NoGbkCase{"emoji_after_emoji", u"\U0001F600", "(U+1F600) in row 1, column 1"},
                      NoGbkCase{"column_counts_characters", u"ab\U0001F600\U0001F601", "(U+1F600) in row 1, column 3"},
                      NoGbkCase{"lone_surrogate", u"ab\xD800", "(U+D800) in row 1, column 3"}),
    [](const auto& p) { return std::string(p.param.name); });

class SaveArt : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    form_ = MakeSavingForm();
    ASSERT_TRUE(Start(*form_));
  }

  std::unique_ptr<Form1> MakeSavingForm() {
    FormOptions options;
    options.programDirectory = DataDir();
    options.asker = [this](QWidget*, const QString&, const QString&, const QString&) { return answer_; };
    options.saveAsker = [this](QWidget*, const QString& title, const QString& filter, const QString& start,
                               const QString& selected) -> std::optional<SaveChoice> {
      saveAsked_.push_back({title, filter, start, selected});
      return saveAnswer_;
    };
    options.reporter = [this](QWidget*, const ErrorReport& report) { reports_.push_back(report); };
    return std::make_unique<Form1>(options);
  }

  // Save Art As from the box's context menu, the dialog answering file and
  // filter.
  void SaveFromTheMenu(const QString& file, const char* filter) {
    saveAnswer_ = SaveChoice{file, QString::fromUtf8(filter)};
    std::unique_ptr<QMenu> menu(form_->Txt1_ContextMenu(QPoint(5, 5)));
    QAction* save = menu->actions().last();
    ASSERT_EQ(save->text(), "Save Art As...");
    save->trigger();
    QCoreApplication::processEvents();
  }

  static QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
  }

  struct SaveAsked {
    QString title, filter, start, selected;
  };
  std::vector<SaveAsked> saveAsked_;
  std::optional<SaveChoice> saveAnswer_;
};

TEST_F(SaveArt, TheMenuKeepsTheBoxsEntries) {
  std::unique_ptr<QMenu> menu(form_->Txt1_ContextMenu(QPoint(5, 5)));
  QStringList texts;
  for (QAction* action : menu->actions())
    if (!action->isSeparator()) texts << action->text().remove('&').section('\t', 0, 0);
  for (const char* usual : {"Undo", "Redo", "Cut", "Copy", "Paste", "Delete", "Select All"})
    EXPECT_TRUE(texts.contains(usual)) << usual << " in " << texts.join(", ").toStdString();
  EXPECT_EQ(texts.last(), "Save Art As...");
}

struct EncodingCase {
  const char* name;
  const char* filter;
  const char* converterEncoding;
};

class SaveEncodings : public SaveArt, public ::testing::WithParamInterface<EncodingCase> {};

// A converted picture saved from the window holds the converter's bytes.
TEST_P(SaveEncodings, TheFileHoldsWhatTheConverterWrites) {
  const EncodingCase& c = GetParam();
  const QString picture = WritePicture(TestPicture(150, 110), "saved.png");
  Load(picture);
  form_->CmdProcess->click();
  const QString target = temp_.filePath("art.txt");
  SaveFromTheMenu(target, c.filter);
  ASSERT_TRUE(reports_.empty()) << ReportText(reports_[0]).toStdString();

  QProcess cli;
  cli.start(QString::fromStdString(ProgramPath("zindrel-convert")), {"-e", c.converterEncoding, picture});
  ASSERT_TRUE(cli.waitForFinished(60000));
  ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
  EXPECT_EQ(Read(target), cli.readAllStandardOutput());
  // Nothing else is left beside it.
  EXPECT_EQ(QDir(temp_.path()).entryList(QDir::Files), QStringList({"art.txt", "saved.png"}));
}

INSTANTIATE_TEST_SUITE_P(Encodings, SaveEncodings,
                         ::testing::Values(EncodingCase{"utf8", "Text, UTF-8 (*.txt)", "utf-8"},
                                           EncodingCase{"gbk", "Text, GBK (*.txt)", "gbk"}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(SaveArt, TheDialogStartsBesideThePictureThenFromTheLastChoice) {
  const QString picture = WritePicture(TestPicture(40, 40), "face.png");
  Load(picture);
  form_->Txt1->setPlainText("art");
  SaveFromTheMenu(temp_.filePath("first.txt"), "Text, GBK (*.txt)");
  saveAnswer_ = std::nullopt;  // cancelled: nothing is written
  form_->SaveArtAs();
  ASSERT_EQ(saveAsked_.size(), 2u);
  EXPECT_EQ(saveAsked_[0].title, "Save Art As");
  EXPECT_EQ(saveAsked_[0].filter, "Text, UTF-8 (*.txt);;Text, GBK (*.txt)");
  EXPECT_EQ(saveAsked_[0].start, temp_.filePath("face.txt"));
  EXPECT_EQ(saveAsked_[1].start, temp_.filePath("first.txt"));
  EXPECT_EQ(saveAsked_[1].selected, "Text, GBK (*.txt)");
  EXPECT_EQ(Read(temp_.filePath("first.txt")), "art\r\n");
  EXPECT_TRUE(reports_.empty());
}

TEST_F(SaveArt, TypedTextGbkCannotHoldIsReportedAndNothingIsWritten) {
  form_->Txt1->setPlainText(QString::fromUtf8("\xE5\x95\x8A\xE4\xB8\xAD\n"));
  form_->Txt1->moveCursor(QTextCursor::End);
  form_->Txt1->setFocus();
  QTest::keyClicks(form_->Txt1, "ab");
  // Thai ko kai, as a keyboard layout types it.
  QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUtf8("\xE0\xB8\x81"));
  QCoreApplication::sendEvent(form_->Txt1, &press);
  const QString target = temp_.filePath("kept.txt");
  QFile existing(target);
  ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  existing.write("before");
  existing.close();
  SaveFromTheMenu(target, "Text, GBK (*.txt)");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].file, target);
  EXPECT_TRUE(reports_[0].detail.contains("(U+0E01) in row 2, column 3")) << reports_[0].detail.toStdString();
  EXPECT_EQ(Read(target), "before");
  EXPECT_EQ(QDir(temp_.path()).entryList(QDir::Files), QStringList({"kept.txt"}));
  // As UTF-8 it is written, typed text and all.
  SaveFromTheMenu(target, "Text, UTF-8 (*.txt)");
  EXPECT_EQ(reports_.size(), 1u);
  EXPECT_EQ(Read(target), "\xE5\x95\x8A\xE4\xB8\xAD\r\nab\xE0\xB8\x81\r\n");
}

struct UnwritableCase {
  const char* name;
  // Makes the target (with "before" in it where a file can be there) and
  // returns its path, or an empty path to skip with the reason in *skip.
  std::function<QString(const QTemporaryDir&, std::string* skip)> make;
  int number;
};

class SaveFailures : public SaveArt, public ::testing::WithParamInterface<UnwritableCase> {};

TEST_P(SaveFailures, OneMessageAndAnExistingFileKeepsItsContent) {
  const UnwritableCase& c = GetParam();
  std::string skip;
  const QString target = c.make(temp_, &skip);
  if (target.isEmpty()) GTEST_SKIP() << skip;
  const QByteArray before = Read(target);
  form_->Txt1->setPlainText("art");
  SaveFromTheMenu(target, "Text, UTF-8 (*.txt)");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].number, c.number);
  EXPECT_EQ(reports_[0].file, target);
  EXPECT_EQ(Read(target), before);
  EXPECT_EQ(form_->Txt1->toPlainText(), "art");
}

QString ReadOnlyFolderWithAFile(const QTemporaryDir& temp, std::string* skip) {
#ifdef _WIN32
  (void)temp;
  *skip = "no read-only folders here";
  return {};
#else
  if (geteuid() != 0) {
    const QString folder = temp.filePath("locked");
    QDir().mkpath(folder);
    QFile file(folder + "/art.txt");
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write("before");
    file.close();
    chmod(folder.toLocal8Bit().constData(), 0555);
    return folder + "/art.txt";
  }
  // Root writes into any folder whose permissions say no; /proc takes no
  // new files from anyone, and its files are files.
  (void)temp;
  if (!QFile::exists("/proc/version")) {
    *skip = "running as root without /proc";
    return {};
  }
  return QStringLiteral("/proc/version");
#endif
}

INSTANTIATE_TEST_SUITE_P(Targets, SaveFailures,
                         ::testing::Values(UnwritableCase{"read_only_folder", ReadOnlyFolderWithAFile, 75},
                                           UnwritableCase{"missing_folder",
                                                          [](const QTemporaryDir& folder, std::string*) {
                                                            return folder.filePath("none/art.txt");
                                                          },
                                                          75},
                                           UnwritableCase{"a_folder",
                                                          [](const QTemporaryDir& folder, std::string*) {
                                                            QDir().mkpath(folder.filePath("art.txt"));
                                                            return folder.filePath("art.txt");
                                                          },
                                                          75}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace zindrel::testing
