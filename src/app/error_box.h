#pragma once

// The standard error message: "Application Error", the exclamation icon, OK.

#include "platform/app_error.h"
#include "platform/seams.h"

class QWidget;

namespace delvora {

class ErrorBox : public ErrorReporter {
 public:
  ErrorBox(MessageBoxes& boxes, QWidget* owner) : boxes_(boxes), owner_(owner) {}
  void ReportError(const AppError& error, std::string_view location, int step) override;

 private:
  MessageBoxes& boxes_;
  QWidget* owner_;
};

}  // namespace delvora
