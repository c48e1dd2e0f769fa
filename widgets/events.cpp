#include "widgets/events.h"

#include <QApplication>
#include <QMessageBox>

namespace zindrel {

void PumpEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

ErrorReport MakeReport(const RuntimeError& error, const QString& file) {
  ErrorReport report;
  report.number = error.number();
  report.description = QString::fromStdString(error.description());
  report.detail = QString::fromStdString(error.detail());
  report.file = file;
  return report;
}

QString ReportText(const ErrorReport& report) {
  QString text = QStringLiteral("Run-time error '%1':\n\n%2").arg(report.number).arg(report.description);
  if (!report.detail.isEmpty()) text += QLatin1Char(' ') + report.detail;
  if (!report.file.isEmpty()) text += QStringLiteral("\n\nFile: ") + report.file;
  return text;
}

void ShowErrorBox(QWidget* parent, const ErrorReport& report) {
  // Titled like the window it belongs to.
  const QString title = parent ? parent->window()->windowTitle() : QString();
  QMessageBox::critical(parent, title.isEmpty() ? QStringLiteral("Zindrel") : title, ReportText(report));
}

}  // namespace zindrel
