#include "widgets/file_dialog.h"

#include <QFileDialog>
#include <QStringList>

#include "core/errors.h"

namespace zindrel {

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
    entries << description + QStringLiteral(" (") + list.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return entries.join(QStringLiteral(";;"));
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
        QString selected = filter.section(QStringLiteral(";;"), 0, 0);
        const QString file = QFileDialog::getOpenFileName(parent, title, start, filter, &selected);
        if (file.isEmpty()) return std::nullopt;
        return file;
      };
}

}  // namespace zindrel
