#include "app/error_box.h"

#include <QString>

#include "platform/qt_path_text.h"
#include "platform/utf8.h"

namespace delvora {

void ErrorBox::ReportError(const AppError& error, std::string_view location, int step) {
  const std::string text = Shown(StandardErrorText(error.description(), location, step), true);
  boxes_.Show(owner_, PathText(text), QStringLiteral("Application Error"), MsgButtons::kOk,
              MsgIcon::kExclamation);
}

}  // namespace delvora
