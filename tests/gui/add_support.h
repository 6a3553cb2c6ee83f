#pragma once

// Helpers shared by the tests of the ways of filling the list.

#include <QStringList>

#include "app/main_window.h"

namespace delvora::testing {

// The list's entries, first to last.
inline QStringList Entries(Form1& window) {
  QStringList entries;
  for (int i = 1; i <= window.List().Count(); ++i) entries << window.List().Text(i);
  return entries;
}

}  // namespace delvora::testing
