#pragma once

// The program that opens a web page with the user's browser, given the
// address as its one argument.

#include <QString>

namespace delvora {

QString WebPageOpener();

}  // namespace delvora
