#include "app/error_box.h"

#include <QString>

#include "platform/qt_path_text.h"
#include "platform/utf8.h"

namespace delvora {

void ErrorBox::ReportError(const AppError& error, std::string_view location, int step) {
  // The description may hold a file's name, whose line breaks are not the
  // box's own lines: escaped with the rest of it.
  const std::string text = StandardErrorText(Shown(error.description()), location, step);
  boxes_.Show(owner_, PathText(text), QStringLiteral("Application Error"), MsgButtons::kOk,
              MsgIcon::kExclamation);
}

}  // namespace delvora
