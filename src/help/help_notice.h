#pragma once

#include <QString>

namespace delvora {

// The one notice behind "Help": a single paragraph naming the support address.
QString HelpNoticeText();

}  // namespace delvora
