#include "platform/web_page_opener.h"

namespace delvora {

QString WebPageOpener() { return QStringLiteral("explorer"); }

}  // namespace delvora
