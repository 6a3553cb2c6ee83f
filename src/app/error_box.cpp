#include "app/error_box.h"

#include <QString>

#include "platform/utf8.h"

namespace delvora {

void ErrorBox::ReportError(const AppError& error, std::string_view location, int step) {
  const std::string text = Shown(StandardErrorText(error.description(), location, step), true);
  boxes_.Show(owner_, QString::fromStdString(text), QStringLiteral("Application Error"),
              MsgButtons::kOk, MsgIcon::kExclamation);
}

}  // namespace delvora
