#include "widgets/file_dialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QScreen>
#include <QStringList>
#include <QTreeView>
#include <algorithm>

#include "core/errors.h"
#include "widgets/twips.h"

namespace zindrel {

namespace {

// Twips of a file dialog at its opening: 800 x 500 pixels at 96 dpi.
constexpr double kDialogWidthTwips = 12000, kDialogHeightTwips = 7500;

// The first pattern's extension ("txt" of "Text (*.txt)"), or nothing.
QString FirstSuffix(const QString& qtFilterEntry) {
  const qsizetype open = qtFilterEntry.lastIndexOf(QLatin1Char('('));
  if (open < 0) return {};
  const QString first = qtFilterEntry.mid(open + 1).section(QLatin1Char(' '), 0, 0).remove(QLatin1Char(')'));
  if (!first.startsWith(QStringLiteral("*."))) return {};
  const QString suffix = first.mid(2);
  return suffix.contains(QLatin1Char('*')) || suffix.contains(QLatin1Char('?')) ? QString() : suffix;
}

}  // namespace

QString DialogFilterToQt(const QString& pipeFilter) {
  if (pipeFilter.isEmpty()) return {};
  const QStringList parts = pipeFilter.split(QLatin1Char('|'));
  QStringList entries;
  for (int i = 0; i < parts.size(); i += 2) {
    const QString description = parts[i];
    const QString patterns = i + 1 < parts.size() ? parts[i + 1] : QStringLiteral("*");
    if (description.isEmpty() && patterns.isEmpty()) continue;
    QStringList list = patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& p : list) p = p.trimmed();
    // Qt takes the patterns from the last brackets of an entry, so a
    // description that ends with exactly these patterns can stand alone.
    const QString bracketed = QLatin1Char('(') + list.join(QLatin1Char(' ')) + QLatin1Char(')');
    if (description.endsWith(bracketed))
      entries << description;
    else
      entries << description + QLatin1Char(' ') + bracketed;
  }
  return entries.join(QStringLiteral(";;"));
}

QSize FileDialogSize(const QWidget* parent) {
  QSize size(TwipsToPixelsX(parent, kDialogWidthTwips), TwipsToPixelsY(parent, kDialogHeightTwips));
  const QScreen* screen = parent ? parent->screen() : nullptr;
  if (screen) size = size.boundedTo(screen->availableGeometry().size());
  return size;
}

void PrepareFileDialog(QFileDialog& dialog, const QString& title, const QString& qtFilter, const QString& start,
                       const QString& selectedFilter) {
  dialog.setWindowTitle(title);
  const QStringList filters = qtFilter.split(QStringLiteral(";;"), Qt::SkipEmptyParts);
  dialog.setNameFilters(filters);
  if (!filters.isEmpty()) dialog.selectNameFilter(filters.contains(selectedFilter) ? selectedFilter : filters[0]);
  if (!start.isEmpty()) {
    const QFileInfo info(start);
    dialog.setDirectory(info.absolutePath());
    if (!info.isDir()) dialog.selectFile(info.fileName());
  }
  dialog.resize(FileDialogSize(dialog.parentWidget()));
  // Qt's own dialog (not a system one) keeps its detail columns at fixed
  // widths that cut sizes, types and dates short: they take the width of
  // their contents, and the names the rest.
  if (auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
    QHeaderView* header = details->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
  }
}

OpenFileDialog::OpenFileDialog(QWidget* parent, Asker asker)
    : parent_(parent), asker_(asker ? std::move(asker) : QtAsker()) {}

void OpenFileDialog::ShowOpen() {
  const std::optional<QString> chosen = asker_(parent_, DialogTitle, DialogFilterToQt(Filter), FileName);
  if (!chosen || chosen->isEmpty()) {
    if (CancelError) Raise(ErrorKind::Cancelled);
    return;
  }
  FileName = *chosen;
}

OpenFileDialog::Asker OpenFileDialog::QtAsker() {
  return
      [](QWidget* parent, const QString& title, const QString& filter, const QString& start) -> std::optional<QString> {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        PrepareFileDialog(dialog, title, filter, start);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        return dialog.selectedFiles().first();
      };
}

SaveAsker QtSaveAsker() {
  return [](QWidget* parent, const QString& title, const QString& filter, const QString& start,
            const QString& selected) -> std::optional<SaveChoice> {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    PrepareFileDialog(dialog, title, filter, start, selected);
    dialog.setDefaultSuffix(FirstSuffix(dialog.selectedNameFilter()));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog](const QString& f) { dialog.setDefaultSuffix(FirstSuffix(f)); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return SaveChoice{dialog.selectedFiles().first(), dialog.selectedNameFilter()};
  };
}

}  // namespace zindrel
