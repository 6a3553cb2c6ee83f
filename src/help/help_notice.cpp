#include "help/help_notice.h"

#include "platform/product.h"

namespace delvora {

QString HelpNoticeText() {
  return QStringLiteral(
             "Some files with complicated structure sometimes could not be converted and will "
             "require manual processing later. Please email ") +
         QString::fromLatin1(kSupportEmail) + QStringLiteral(" if you have any questions.");
}

}  // namespace delvora
