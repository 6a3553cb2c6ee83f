#pragma once

// Helpers shared by the tests of the ways of filling the list.

#include <QDir>
#include <QString>
#include <QStringList>

#include "app/main_window.h"

namespace delvora::testing {

// A "/"-separated path with the platform's separators, as the list holds it.
inline QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

// The list's entries, first to last.
inline QStringList Entries(Form1& window) {
  QStringList entries;
  for (int i = 1; i <= window.List().Count(); ++i) entries << window.List().Text(i);
  return entries;
}

}  // namespace delvora::testing
