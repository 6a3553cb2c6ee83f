#pragma once

// The file list's control: a report-style list with one column, addressed
// by 1-based positions as the handlers number entries.

#include <QPoint>
#include <QString>

class QTreeWidget;

namespace delvora {

class ListView {
 public:
  explicit ListView(QTreeWidget* widget);

  void AddColumn(const QString& header);
  void SetColumnWidthTwips(int column, int twips);
  int ColumnCount() const;
  QString ColumnHeader(int column) const;

  void Add(const QString& text);
  int Count() const;
  QString Text(int position) const;
  void SetText(int position, const QString& text);
  void Remove(int position);
  void Clear();

  // 0 when nothing is selected.
  int SelectedItem() const;
  void Select(int position);
  void EnsureVisible(int position);
  // The entry under a point of the list's viewport, or 0.
  int HitTest(const QPoint& viewport_point) const;
  bool ContainsText(const QString& text) const;

  QTreeWidget* widget() const { return widget_; }

 private:
  QTreeWidget* widget_;
  int columns_ = 0;
};

}  // namespace delvora
