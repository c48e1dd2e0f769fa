// The event pump and the report of errors, as the window's handlers use them.
#pragma once

#include <QString>
#include <functional>

#include "core/errors.h"

class QWidget;

namespace zindrel {

// Runs all pending input, click, change and paint events, then returns.
void PumpEvents();

// What an error report shows: the error's number and description, the
// detail, and the file concerned when there is one.
struct ErrorReport {
  int number = 0;
  QString description;
  QString detail;
  QString file;
};

ErrorReport MakeReport(const RuntimeError& error, const QString& file = {});
// The report as the message box words it: "Run-time error '53':" then the
// description and the detail, and the file on a line of its own.
QString ReportText(const ErrorReport& report);

// Shows the report in a modal message box over parent.
void ShowErrorBox(QWidget* parent, const ErrorReport& report);

using ErrorReporter = std::function<void(QWidget* parent, const ErrorReport&)>;

}  // namespace zindrel
