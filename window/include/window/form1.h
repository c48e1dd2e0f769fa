// Form1, the program's one window: its eighteen controls, the state it owns
// (glyph table, parameters, cancel flag, drag anchor) and its event handlers.
#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "convert/matcher.h"
#include "glyphs/glyph_table.h"
#include "widgets/command_button.h"
#include "widgets/events.h"
#include "widgets/file_dialog.h"
#include "widgets/picture_box.h"
#include "widgets/scroll_bar.h"
#include "widgets/twips.h"

namespace zindrel {

// Texts the window shows.
extern const char* const kCaptionConvertFirst;  // "Convert 2 Chinese", before the first run
extern const char* const kCaptionConvert;       // "Convert 2 chinese", after a run
extern const char* const kCaptionProcessing;    // "Processing..."
extern const char* const kOpenFilter;           // the open dialog's filter list
// The sample of character art in Label4, four lines joined by "\n".
QString SampleArt();

struct FormOptions {
  // Where Data.han is read and Varnock.bmp is looked for; empty means the
  // directory of the running program.
  QString programDirectory;
  // Asks for a file to open; empty means Qt's file dialog.
  OpenFileDialog::Asker asker;
  // Asks for the file Save Art As writes; empty means Qt's file dialog.
  SaveAsker saveAsker;
  // Shows an error; empty means a message box.
  ErrorReporter reporter;
  // A run handles the window's events after a cell once this many
  // microseconds have passed since it last did (0: after every cell). One
  // pass of the event loop costs more than measuring and matching a cell;
  // a millisecond is far below what a person notices.
  int pumpMicroseconds = 1000;
};

class Form1 : public QWidget {
  Q_OBJECT
 public:
  explicit Form1(FormOptions options = {});
  ~Form1() override;

  // Controls, named as the window's logic names them.
  CommandButton* CmdLoad;
  QLabel* Label1;
  QLineEdit* TxtSize;
  ChangeScrollBar* HScCellsize;
  CommandButton* CmdProcess;
  QLabel* Label2;
  QLineEdit* TxtQuality;
  ChangeScrollBar* HscQuality;
  CommandButton* CmdCancel;
  CommandButton* CmdExit;
  QLabel* Label3;
  QLineEdit* TxtBright;
  ChangeScrollBar* HScBright;
  QLabel* Label4;
  FrameBox* PicOut;
  PictureBox* Pic1;
  QPlainTextEdit* Txt1;
  OpenFileDialog CommonDialog1;

  // Positions and sizes in twips of the controls that the layout moves.
  const TwipsBox& PicOutBox() const { return picOutBox_; }
  const TwipsBox& Txt1Box() const { return txt1Box_; }

  // The window's outer size in twips as the layout reads it: the client
  // area with the frame the layout was designed around, whatever frame the
  // window manager draws (or none), so the layout comes out the same.
  float Width() const;
  float Height() const;

  // Handlers.
  void Form_Load();
  void Form_Resize();
  void UpdatePanPointer();
  void CmdExit_Click();
  void CmdProcess_Click();
  void CmdCancel_Click();
  void HScCellsize_Change();
  void HscQuality_Change();
  void HScBright_Change();
  void CmdLoad_Click();
  // A file dropped onto PicOut or Pic1: loaded as CmdLoad_Click loads the
  // file chosen in its dialog, and the dialog's next start.
  void PicOut_DropFile(const QString& file);
  void Pic1_MouseDown(int16_t Button, int16_t Shift, float X, float Y);
  void Pic1_MouseMove(int16_t Button, int16_t Shift, float X, float Y);
  // Txt1's context menu: the box's usual entries and "Save Art As...".
  // The caller owns the menu.
  QMenu* Txt1_ContextMenu(const QPoint& position);
  // Asks for a file and writes Txt1's text into it as shown, each row ended
  // by CR LF, in the encoding of the filter chosen; the file is replaced
  // only when all of it could be written. A failure, or a character that
  // GBK cannot hold, is reported and writes nothing.
  void SaveArtAs();

  // Window-level state.
  int16_t CellSize() const { return cellSize_; }
  int16_t Quality() const { return quality_; }
  float BrightnessFactor() const { return brightnessFactor_; }
  bool CancelRequested() const { return cancelRequested_; }
  float DragAnchorX() const { return dragAnchorX_; }
  float DragAnchorY() const { return dragAnchorY_; }
  const GlyphTable& Table() const { return table_; }
  QString ProgramDirectory() const { return programDirectory_; }
  // True while a conversion is going on.
  bool Running() const { return runDepth_ > 0; }
  // Txt1's text with the row ends as CR LF, as the output is defined,
  // including what a running conversion has not yet shown.
  QString OutputText() const;
  // Shows an error through the window's reporter, naming the file if any.
  void Report(const RuntimeError& error, const QString& file = {});

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Shows the run's pending glyphs before any edit of the user reaches Txt1,
  // so typed or pasted text lands after every glyph appended before it.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class RunHostImpl;

  // Runs a handler; an error no handler takes is reported and ends the
  // program.
  void Guarded(const std::function<void()>& handler);
  void Fatal(const RuntimeError& error);
  // Output of a run: glyphs collect in a buffer that is added to the end of
  // Txt1 at least every kFlushMilliseconds (before the event pump) and when
  // the run ends, so each addition lays out the row once, not once a glyph.
  void AppendText(const QString& text);
  void FlushText();
  // Loading after the dialog: the picture into Pic1 at the frame's corner,
  // the cell-size range and display, the pointer. A file that cannot be
  // read is reported, naming it, and changes nothing.
  void LoadPictureFile(const QString& file);
  void SetBarAtStart(ChangeScrollBar* bar, int16_t value, void (Form1::*change)());
  void RestoreProcessButton();

  FormOptions options_;
  QString programDirectory_;
  TwipsBox picOutBox_;
  TwipsBox txt1Box_;
  std::vector<TwipsBox> fixedBoxes_;

  GlyphTable table_;
  std::unique_ptr<Matcher> matcher_;  // made at the first run, kept for the next
  int16_t cellSize_ = 0;
  int16_t quality_ = 0;
  float brightnessFactor_ = 0;
  bool cancelRequested_ = false;
  float dragAnchorX_ = 0;
  float dragAnchorY_ = 0;
  // Save Art As starts from the file and filter chosen last.
  QString artFileName_;
  QString artFilter_;

  // Each run takes a new generation; a run whose generation is no longer the
  // newest (a Convert was handled in its pump) stops at its next test.
  unsigned runGeneration_ = 0;
  QString pendingText_;
  QElapsedTimer sinceFlush_;
  int runDepth_ = 0;
  bool unloaded_ = false;
};

// Start-up: Form_Load, then show the window. A failure is reported with its
// number and description and the window is not shown; returns false then.
bool StartForm(Form1& form);

}  // namespace zindrel
