// The file dialogs of the window. The open dialog has the behaviour the
// window relies on: a title, a filter list, a FileName that pre-fills the
// dialog and keeps the file chosen last, and CancelError, which turns a
// cancelled dialog into the error "Cancel was selected.". The save dialog
// asks for a file to write and the filter (the kind of file) chosen with it.
#pragma once

#include <QSize>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

class QFileDialog;

namespace zindrel {

// Turns a filter string of the form "Desc|pat1;pat2|Desc|pat|..." into the
// "Desc (pat1 pat2);;Desc (pat)" form of Qt's dialogs. A description that
// already ends with its patterns in brackets, such as "bitmap(*.bmp)", is
// kept as it is rather than shown with them twice. An odd trailing
// description gets the pattern "*".
QString DialogFilterToQt(const QString& pipeFilter);

// The size a file dialog opens at, in pixels for the parent's screen: wide
// enough for the names, sizes, types and dates of its detail view, and never
// larger than the screen's free area.
QSize FileDialogSize(const QWidget* parent);

// A Qt file dialog for the window: title, filters (Qt form, the first one
// selected unless selectedFilter names another), started from the folder of
// start with its name filled in, at FileDialogSize.
void PrepareFileDialog(QFileDialog& dialog, const QString& title, const QString& qtFilter, const QString& start,
                       const QString& selectedFilter = {});

class OpenFileDialog {
 public:
  // What actually asks the user: gets the parent, title, Qt filter and the
  // starting file name; returns the chosen file or nothing when cancelled.
  using Asker = std::function<std::optional<QString>(QWidget* parent, const QString& title, const QString& qtFilter,
                                                     const QString& start)>;

  explicit OpenFileDialog(QWidget* parent, Asker asker = {});

  QString DialogTitle;
  QString Filter;  // "Desc|patterns|..." form
  QString FileName;
  bool CancelError = false;

  // Shows the dialog. On success FileName holds the chosen file. On cancel
  // FileName stays; with CancelError on, raises the Cancelled error.
  void ShowOpen();

  // The asker that shows Qt's own file dialog.
  static Asker QtAsker();

 private:
  QWidget* parent_;
  Asker asker_;
};

// A file to save and the filter the user chose it with (Qt form).
struct SaveChoice {
  QString file;
  QString filter;
};

// Asks for a file to save: gets the parent, title, Qt filter list, the
// starting file name and the filter to select; returns nothing when
// cancelled. Qt's asker confirms replacing an existing file and adds the
// first pattern's extension to a name typed without one.
using SaveAsker = std::function<std::optional<SaveChoice>(
    QWidget* parent, const QString& title, const QString& qtFilter, const QString& start, const QString& selected)>;
SaveAsker QtSaveAsker();

}  // namespace zindrel
