#include "window/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <cmath>
#include <memory>
#include <new>

#include "convert/run.h"
#include "core/min_max.h"
#include "core/numeric.h"
#include "pictures/picture.h"
#include "render/art_font.h"
#include "render/pending_file.h"
#include "window/art_file.h"

namespace zindrel {

const char* const kCaptionConvertFirst = "Convert 2 Chinese";
const char* const kCaptionConvert = "Convert 2 chinese";
const char* const kCaptionProcessing = "Processing...";
const char* const kOpenFilter =
    "All pictures|*.bmp;*.jpg;*.gif|bitmap(*.bmp)|*.bmp|GIF (*.gif)|*.gif|JPEG (*.jpg)|*.jpg|"
    "icon (*.ico)|*.ico|cursor (*.cur)|*.cur|run-length encoded (*.rle)|*.rle|metafile (*.wmf)|*.wmf|"
    "enhanced metafiles (*.emf)|*.emf|All files|*.*";

namespace {

// How long new glyphs may wait before they show: below what the eye notices.
constexpr qint64 kFlushMilliseconds = 40;

// The frame the layout's margins were drawn around, in twips: a sizable
// window's borders of 4 pixels and caption of 19 at 15 twips per pixel, so
// the client area of 9120 x 6000 twips at design has an outer size of
// 9240 x 6405.
constexpr double kDesignFrameWidth = 120, kDesignFrameHeight = 405;

CommandButton* Button(QWidget* parent, const char* caption) {
  return new CommandButton(QString::fromUtf8(caption), parent);
}

// The picture file a drag carries: the first of its files, when that is a
// local file and not a folder. Text, links and folders carry none.
std::optional<QString> DraggedFile(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().isEmpty()) return std::nullopt;
  const QUrl url = data->urls().first();
  if (!url.isLocalFile()) return std::nullopt;
  const QString file = url.toLocalFile();
  if (file.isEmpty() || QFileInfo(file).isDir()) return std::nullopt;
  return file;
}

QLineEdit* DisplayBox(QWidget* parent) {
  auto* box = new QLineEdit(QStringLiteral("Text1"), parent);
  box->setReadOnly(true);
  return box;
}

}  // namespace

// The window as the conversion's host: parameters read afresh at every use,
// the picture that Pic1 holds now, glyphs appended at the end of Txt1, and
// the event pump with the cancel test after every cell.
class Form1::RunHostImpl : public RunHost {
 public:
  RunHostImpl(Form1& form, unsigned generation)
      : form_(form), generation_(generation), pumpNanoseconds_(qint64{form.options_.pumpMicroseconds} * 1000) {
    sincePump_.start();
  }
  int16_t CellSize() override { return form_.cellSize_; }
  int16_t Quality() override { return form_.quality_; }
  float BrightnessFactor() override { return form_.brightnessFactor_; }
  const PixelSource& Picture() override { return form_.Pic1->Pixels(); }
  void AppendGlyph(int glyph) override {
    if (glyph != 0) form_.AppendText(QString::fromStdString(form_.table_.GlyphUtf8(glyph)));
  }
  void EndRow() override { form_.AppendText(QStringLiteral("\n")); }
  bool AfterCell() override {
    // What a pump handled (a cancel, a bar, a new picture) applies from the
    // next cell, whenever the pump comes.
    if (sincePump_.nsecsElapsed() >= pumpNanoseconds_) {
      if (form_.sinceFlush_.elapsed() >= kFlushMilliseconds) form_.FlushText();
      PumpEvents();
      sincePump_.restart();
    }
    return form_.cancelRequested_ || form_.runGeneration_ != generation_ || form_.unloaded_;
  }

 private:
  Form1& form_;
  unsigned generation_;
  qint64 pumpNanoseconds_;
  QElapsedTimer sincePump_;
};

Form1::Form1(FormOptions options) : CommonDialog1(this, options.asker), options_(std::move(options)) {
  programDirectory_ =
      options_.programDirectory.isEmpty() ? QCoreApplication::applicationDirPath() : options_.programDirectory;
  if (!options_.reporter) options_.reporter = ShowErrorBox;
  if (!options_.saveAsker) options_.saveAsker = QtSaveAsker();

  setWindowTitle(QStringLiteral("Zindrel"));
  setFont(ArtFont(9.75));

  // Created in tab order, which is the order of the focus chain; the
  // labels take no focus and Pic1 comes last.
  PicOut = new FrameBox(this);
  CmdLoad = Button(this, "Load Picture");
  CmdProcess = Button(this, kCaptionConvertFirst);
  CmdCancel = Button(this, "Cancel");
  TxtSize = DisplayBox(this);
  HScCellsize = new ChangeScrollBar(3, 30, 12, 1, 1, this);
  TxtQuality = DisplayBox(this);
  HscQuality = new ChangeScrollBar(0, 10, 0, 1, 2, this);
  TxtBright = DisplayBox(this);
  HScBright = new ChangeScrollBar(40, 120, 50, 1, 10, this);
  Txt1 = new QPlainTextEdit(this);
  CmdExit = Button(this, "Exit");
  Label1 = new QLabel(QStringLiteral("Size:"), this);
  Label2 = new QLabel(QStringLiteral("Quality:"), this);
  Label3 = new QLabel(QStringLiteral("Brightness:"), this);
  Label4 = new QLabel(SampleArt(), this);

  // Design positions and sizes in twips.
  fixedBoxes_ = {
      TwipsBox(CmdLoad, 120, 120, 1935, 255),    TwipsBox(Label1, 2280, 120, 855, 255),
      TwipsBox(TxtSize, 2880, 120, 1095, 285),   TwipsBox(HScCellsize, 3960, 120, 1335, 255),
      TwipsBox(CmdProcess, 120, 360, 1935, 255), TwipsBox(Label2, 2280, 360, 1095, 255),
      TwipsBox(TxtQuality, 3240, 360, 735, 285), TwipsBox(HscQuality, 3960, 360, 1335, 255),
      TwipsBox(CmdCancel, 120, 600, 1095, 255),  TwipsBox(CmdExit, 1200, 600, 855, 255),
      TwipsBox(Label3, 2280, 600, 1215, 255),    TwipsBox(TxtBright, 3480, 600, 495, 285),
      TwipsBox(HScBright, 3960, 600, 1335, 255), TwipsBox(Label4, 5640, 0, 3375, 855),
  };
  picOutBox_ = TwipsBox(PicOut, 120, 960, 4215, 4935);
  txt1Box_ = TwipsBox(Txt1, 4440, 960, 4575, 4935);
  // Pic1 before the first load: its stored size, as many pixels as the
  // frame's twips make (it fills the frame at design size).
  Pic1 = new PictureBox(QSize(TwipsToPixelsX(this, 4215), TwipsToPixelsY(this, 4935)), PicOut->Inner());

  // Label4: a sample of the art in its own size and colours.
  Label4->setFont(ArtFont(9));
  Label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label4->setTextFormat(Qt::PlainText);
  Label4->setAutoFillBackground(true);
  {
    QPalette palette = Label4->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::ToolTipBase));
    palette.setColor(QPalette::Window, palette.color(QPalette::Dark));
    Label4->setPalette(palette);
  }

  // Txt1: multi-line, no wrapping, both scroll bars, white on black. Tab
  // moves the focus on instead of typing a tab into the art.
  Txt1->setTabChangesFocus(true);
  Txt1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Txt1->setWordWrapMode(QTextOption::NoWrap);
  Txt1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Txt1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Txt1->setContextMenuPolicy(Qt::CustomContextMenu);
  Txt1->installEventFilter(this);
  Txt1->viewport()->installEventFilter(this);
  {
    QPalette palette = Txt1->palette();
    palette.setColor(QPalette::Base, QColor(0, 0, 0));
    palette.setColor(QPalette::Text, QColor(255, 255, 255));
    Txt1->setPalette(palette);
  }

  // The open dialog's design settings.
  CommonDialog1.DialogTitle = QStringLiteral("Open Pictures");
  CommonDialog1.Filter = QString::fromUtf8(kOpenFilter);

  for (QLabel* label : {Label1, Label2, Label3, Label4}) label->setFocusPolicy(Qt::NoFocus);

  // A picture file dropped onto the frame or the picture loads as if chosen
  // in the open dialog.
  for (QWidget* target : {static_cast<QWidget*>(PicOut), static_cast<QWidget*>(Pic1)}) {
    target->setAcceptDrops(true);
    target->installEventFilter(this);
  }

  // Events to handlers.
  connect(CmdLoad, &QPushButton::clicked, this, [this] { Guarded([this] { CmdLoad_Click(); }); });
  connect(CmdProcess, &QPushButton::clicked, this, [this] { Guarded([this] { CmdProcess_Click(); }); });
  connect(CmdCancel, &QPushButton::clicked, this, [this] { Guarded([this] { CmdCancel_Click(); }); });
  connect(CmdExit, &QPushButton::clicked, this, [this] { Guarded([this] { CmdExit_Click(); }); });
  connect(HScCellsize, &ChangeScrollBar::Change, this, [this] { Guarded([this] { HScCellsize_Change(); }); });
  connect(HscQuality, &ChangeScrollBar::Change, this, [this] { Guarded([this] { HscQuality_Change(); }); });
  connect(HScBright, &ChangeScrollBar::Change, this, [this] { Guarded([this] { HScBright_Change(); }); });
  connect(Txt1, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
    // The position is the viewport's, as the scroll area passes it on.
    std::unique_ptr<QMenu> menu(Txt1_ContextMenu(position));
    menu->exec(Txt1->viewport()->mapToGlobal(position));
  });
  connect(Pic1, &PictureBox::MouseDown, this,
          [this](int16_t b, int16_t s, float x, float y) { Guarded([&] { Pic1_MouseDown(b, s, x, y); }); });
  connect(Pic1, &PictureBox::MouseMove, this,
          [this](int16_t b, int16_t s, float x, float y) { Guarded([&] { Pic1_MouseMove(b, s, x, y); }); });

  // Client area at design: 9120 x 6000 twips.
  resize(TwipsToPixelsX(this, 9120), TwipsToPixelsY(this, 6000));
}

Form1::~Form1() = default;

float Form1::Width() const { return StoreF32(PixelsToTwipsX(this, width()) + kDesignFrameWidth); }
float Form1::Height() const { return StoreF32(PixelsToTwipsY(this, height()) + kDesignFrameHeight); }

QString Form1::OutputText() const {
  QString text = Txt1->toPlainText() + pendingText_;
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return text;
}

void Form1::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const RuntimeError& e) {
    Fatal(e);
  } catch (const std::bad_alloc&) {
    Fatal(RuntimeError(ErrorKind::OutOfMemory));
  }
}

void Form1::Fatal(const RuntimeError& error) {
  Report(error);
  unloaded_ = true;
  ++runGeneration_;
  close();
  QCoreApplication::exit(1);
}

void Form1::Report(const RuntimeError& error, const QString& file) { options_.reporter(this, MakeReport(error, file)); }

void Form1::AppendText(const QString& text) { pendingText_ += text; }

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == PicOut || watched == Pic1) {
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (DraggedFile(drag->mimeData()) && (drag->possibleActions() & Qt::CopyAction)) {
          drag->setDropAction(Qt::CopyAction);
          drag->accept();
        } else {
          drag->ignore();
        }
        return true;
      }
      case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const std::optional<QString> file = DraggedFile(drop->mimeData());
        if (!file) {
          drop->ignore();
          return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        // Loaded once the drop has returned, so the program the file came
        // from is not held up by a message about it.
        QMetaObject::invokeMethod(
            this, [this, path = *file] { Guarded([&] { PicOut_DropFile(path); }); }, Qt::QueuedConnection);
        return true;
      }
      default: return QWidget::eventFilter(watched, event);
    }
  }
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
    case QEvent::InputMethod:
    case QEvent::MouseButtonPress:
    case QEvent::ContextMenu:
    case QEvent::Drop:
      if (!pendingText_.isEmpty()) FlushText();
      break;
    default: break;
  }
  return QWidget::eventFilter(watched, event);
}

void Form1::FlushText() {
  sinceFlush_.restart();
  if (pendingText_.isEmpty()) return;
  // A cursor at the end inserts without reading or copying what is there.
  QTextCursor cursor(Txt1->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(pendingText_);
  pendingText_.clear();
}

// ---- Start-up, layout, exit ----

void Form1::SetBarAtStart(ChangeScrollBar* bar, int16_t value, void (Form1::*change)()) {
  const int16_t before = bar->Value();
  bar->SetValue(value);
  // The change handling runs once also when the value was already there.
  if (bar->Value() == before) (this->*change)();
}

void Form1::Form_Load() {
  SetBarAtStart(HScCellsize, 12, &Form1::HScCellsize_Change);
  SetBarAtStart(HscQuality, 2, &Form1::HscQuality_Change);
  SetBarAtStart(HScBright, 100, &Form1::HScBright_Change);
  CommonDialog1.FileName = programDirectory_ + QStringLiteral("/Varnock.bmp");
  table_ = LoadGlyphTable(DefaultTablePath(programDirectory_.toStdString()));
}

void Form1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Guarded([this] { Form_Resize(); });
}

void Form1::Form_Resize() {
  // A window too small for the formulas leaves the controls as they are.
  {
    const double picOutWidth = Width() / 2.0 - 350.0;
    const double picOutHeight = double{Height()} - picOutBox_.Top() - 500.0;
    const double txt1Left = StoreF32(picOutWidth) + double{picOutBox_.Left()} + 100.0;
    const double txt1Width = double{Width()} - StoreF32(txt1Left) - 200.0;
    if (picOutWidth < 0 || picOutHeight < 0 || txt1Width < 0) return;
  }
  picOutBox_.SetWidth(StoreF32(Width() / 2.0 - 350.0));
  picOutBox_.SetHeight(StoreF32(double{Height()} - picOutBox_.Top() - 500.0));
  UpdatePanPointer();
  Pic1->SetTop(0);
  Pic1->SetLeft(0);
  txt1Box_.SetLeft(StoreF32(double{picOutBox_.Width()} + picOutBox_.Left() + 100.0));
  txt1Box_.SetWidth(StoreF32(double{Width()} - txt1Box_.Left() - 200.0));
  txt1Box_.SetHeight(picOutBox_.Height());
}

void Form1::UpdatePanPointer() {
  const float frameHeight = PicOut->ScaleHeight();
  const float frameWidth = PicOut->ScaleWidth();
  const float pictureHeight = Pic1->Height();
  const float pictureWidth = Pic1->Width();
  const bool taller = pictureHeight > frameHeight;
  const bool wider = pictureWidth > frameWidth;
  Pic1->SetMousePointer(taller || wider ? kPointerMove : kPointerArrow);
}

void Form1::CmdExit_Click() { close(); }

void Form1::closeEvent(QCloseEvent* event) {
  // Closing stops a running conversion at its next test; the program ends
  // once the run has returned to the event loop.
  unloaded_ = true;
  ++runGeneration_;
  event->accept();
}

// ---- Conversion ----

void Form1::CmdProcess_Click() {
  cancelRequested_ = false;
  CmdProcess->setText(QString::fromUtf8(kCaptionProcessing));
  CmdProcess->setEnabled(false);
  Txt1->clear();
  pendingText_.clear();
  sinceFlush_.start();

  const unsigned generation = ++runGeneration_;
  RunHostImpl host(*this, generation);
  ++runDepth_;
  try {
    if (!matcher_) matcher_ = std::make_unique<Matcher>(table_);
    const RunResult result = RunConversion(*matcher_, host);
    --runDepth_;
    FlushText();
    // A stopped run leaves the button alone: a cancel has restored it, a
    // newer run owns it, or the window is going.
    if (result == RunResult::Stopped) return;
  } catch (const RuntimeError& e) {
    --runDepth_;
    FlushText();
    // The run ends; what it wrote stays and the program goes on.
    RestoreProcessButton();
    Report(e);
    return;
  }
  RestoreProcessButton();
}

void Form1::RestoreProcessButton() {
  CmdProcess->setText(QString::fromUtf8(kCaptionConvert));
  CmdProcess->setEnabled(true);
}

void Form1::CmdCancel_Click() {
  cancelRequested_ = true;
  RestoreProcessButton();
}

// ---- Parameters ----

void Form1::HScCellsize_Change() {
  cellSize_ = HScCellsize->Value();
  const float w = Pic1->ScaleWidth();
  const float h = Pic1->ScaleHeight();
  const double columns = std::floor(DivideF(w, static_cast<float>(cellSize_)));
  const double rows = std::floor(DivideF(h, static_cast<float>(cellSize_)));
  TxtSize->setText(QString::number(columns, 'f', 0) + QChar(0x00D7) + QString::number(rows, 'f', 0));
}

void Form1::HscQuality_Change() {
  TxtQuality->setText(QString::number(HscQuality->Value()));
  quality_ = HscQuality->Value();
}

void Form1::HScBright_Change() {
  TxtBright->setText(QString::number(HScBright->Value()));
  brightnessFactor_ = StoreF32(TxtBright->text().toDouble() / 100.0);
}

// ---- Loading and panning ----

void Form1::CmdLoad_Click() {
  CommonDialog1.CancelError = true;
  try {
    CommonDialog1.ShowOpen();
  } catch (const RuntimeError& e) {
    if (e.description() == "Cancel was selected.") return;  // nothing changes
    throw;
  }
  LoadPictureFile(CommonDialog1.FileName);
}

void Form1::PicOut_DropFile(const QString& file) {
  // As if chosen in the dialog: the next dialog starts from it.
  CommonDialog1.FileName = file;
  LoadPictureFile(file);
}

void Form1::LoadPictureFile(const QString& file) {
  QImage picture;
  try {
    picture = DecodePictureFile(file.toStdString());
  } catch (const RuntimeError& e) {
    // The file is named in the message; the window keeps what it had.
    Report(e, file);
    return;
  }
  Pic1->SetPicture(std::move(picture));
  Pic1->SetTop(0);
  Pic1->SetLeft(0);
  HScCellsize->SetMin(3);
  const float h = Pic1->ScaleHeight();
  const float w = Pic1->ScaleWidth();
  HScCellsize->SetMax(ToInt16(std::floor(MinOf(MinOf(h, w), 30.0f))));
  HScCellsize_Change();
  UpdatePanPointer();
}

void Form1::Pic1_MouseDown(int16_t Button, int16_t Shift, float X, float Y) {
  (void)Button;
  (void)Shift;
  dragAnchorX_ = X;
  dragAnchorY_ = Y;
}

void Form1::Pic1_MouseMove(int16_t Button, int16_t Shift, float X, float Y) {
  (void)Shift;
  if ((Button & 1) == 0) return;
  {
    const float t = StoreF32(double{Pic1->Top()} + Y - dragAnchorY_);
    const float e = StoreF32(double{Pic1->Height()} + t);
    if (t <= 0 && e >= PicOut->ScaleHeight())
      Pic1->SetTop(t);
    else
      dragAnchorY_ = Y;
  }
  {
    const float t = StoreF32(double{Pic1->Left()} + X - dragAnchorX_);
    const float e = StoreF32(double{Pic1->Width()} + t);
    if (t <= 0 && e >= PicOut->ScaleWidth())
      Pic1->SetLeft(t);
    else
      dragAnchorX_ = X;
  }
}

// ---- Saving the art ----

QMenu* Form1::Txt1_ContextMenu(const QPoint& position) {
  QMenu* menu = Txt1->createStandardContextMenu(position);
  menu->addSeparator();
  QAction* save = menu->addAction(QStringLiteral("Save Art As..."));
  // Queued, so the menu has closed before the dialog opens.
  connect(
      save, &QAction::triggered, this, [this] { Guarded([this] { SaveArtAs(); }); }, Qt::QueuedConnection);
  return menu;
}

void Form1::SaveArtAs() {
  QString start = artFileName_;
  if (start.isEmpty()) {
    // The picture's name with .txt, beside it.
    const QFileInfo picture(CommonDialog1.FileName);
    start = picture.path() + QLatin1Char('/') + picture.completeBaseName() + QStringLiteral(".txt");
  }
  const QString filters = QString::fromUtf8(kArtFilterUtf8) + QStringLiteral(";;") + QString::fromUtf8(kArtFilterGbk);
  const std::optional<SaveChoice> choice =
      options_.saveAsker(this, QStringLiteral("Save Art As"), filters, start, artFilter_);
  if (!choice || choice->file.isEmpty()) return;
  artFileName_ = choice->file;
  artFilter_ = choice->filter;
  try {
    PendingFile file(choice->file.toStdString(), ArtFileBytes(OutputText(), ArtEncodingOfFilter(choice->filter)));
    file.Commit();
  } catch (const RuntimeError& e) {
    // One message; an existing file keeps its content.
    Report(e, choice->file);
  } catch (const std::bad_alloc&) {
    // The art stays in the box: a failed save must not end the program.
    Report(RuntimeError(ErrorKind::OutOfMemory), choice->file);
  }
}

// ---- Start-up ----

bool StartForm(Form1& form) {
  try {
    form.Form_Load();
  } catch (const RuntimeError& e) {
    // Only the table can fail here; its path is the file concerned.
    form.Report(e, QString::fromStdString(DefaultTablePath(form.ProgramDirectory().toStdString())));
    return false;
  }
  form.show();
  return true;
}

}  // namespace zindrel
