// The file-open dialog with the behaviour the window relies on: a title, a
// filter list, a FileName that pre-fills the dialog and keeps the file chosen
// last, and CancelError, which turns a cancelled dialog into the error
// "Cancel was selected.".
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

namespace zindrel {

// Turns a filter string of the form "Desc|pat1;pat2|Desc|pat|..." into the
// "Desc (pat1 pat2);;Desc (pat)" form of Qt's dialogs. Descriptions are kept
// as they are. An odd trailing description gets the pattern "*".
QString DialogFilterToQt(const QString& pipeFilter);

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

}  // namespace zindrel
