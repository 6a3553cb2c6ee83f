#include "platform/web_page_opener.h"

namespace delvora {

QString WebPageOpener() {
#ifdef __APPLE__
  return QStringLiteral("open");
#else
  return QStringLiteral("xdg-open");
#endif
}

}  // namespace delvora
