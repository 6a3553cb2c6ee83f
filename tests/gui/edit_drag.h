#pragma once

// Drives the file list with the mouse as a user reordering entries would.

#include <QApplication>
#include <QMouseEvent>
#include <QPoint>
#include <QTest>
#include <QTreeWidget>

#include "app/main_window.h"

namespace delvora::testing {

inline QPoint EntryCentre(Form1& form, int position) {
  return form.List().EntryRect(position).center();
}

// Presses on entry `from`, moves over every entry up to `to` and releases
// there.
inline void DragEntry(Form1& form, int from, int to) {
  QWidget* viewport = form.ListView1->viewport();
  QTest::mousePress(viewport, Qt::LeftButton, {}, EntryCentre(form, from));
  const int step = from < to ? 1 : -1;
  for (int position = from; position != to;) {
    position += step;
    QTest::mouseMove(viewport, EntryCentre(form, position));
  }
  QTest::mouseRelease(viewport, Qt::LeftButton, {}, EntryCentre(form, to));
}

// A double-click as a mouse delivers it: press, release, then the second
// press as a double-click, and its release.
inline void RealDoubleClick(QWidget* widget, const QPoint& at) {
  QTest::mousePress(widget, Qt::LeftButton, {}, at);
  QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
  QMouseEvent second(QEvent::MouseButtonDblClick, at, widget->mapToGlobal(at), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &second);
  QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
}

}  // namespace delvora::testing
