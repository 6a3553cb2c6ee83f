#pragma once

// The file list's control: a report-style list with one column, addressed
// by 1-based positions as the handlers number entries.

#include <QHash>
#include <QHeaderView>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <vector>

class QTreeWidget;

namespace delvora {

// The list's header: every column divider is drawn, and it can be taken
// a few pixels either side of the line, beyond the last column too, where
// the user pulls it to the right to reveal long names.
class ListHeader : public QHeaderView {
 public:
  explicit ListHeader(QWidget* parent = nullptr);
  // How far from a divider, in pixels either side, a press takes it.
  static constexpr int kGrip = 5;
  // The column whose right divider is within reach of x (viewport), or -1.
  int DividerAt(int x) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int resizing_ = -1;
  int grab_offset_ = 0;  // pointer x minus the divider's x at the press
};

class ListView {
 public:
  // `widget` may be null and attached later (the window creates its controls
  // after its members).
  explicit ListView(QTreeWidget* widget);
  ~ListView();
  ListView(const ListView&) = delete;
  ListView& operator=(const ListView&) = delete;
  void Attach(QTreeWidget* widget);

  // The header shows once the first column exists.
  void AddColumn(const QString& header);
  void SetColumnWidthTwips(int column, int twips);
  int ColumnCount() const;
  QString ColumnHeader(int column) const;

  void Add(const QString& text);
  // Appends the texts in order as one insertion: the view hears of one
  // change, however many entries arrive.
  void AddMany(const QStringList& texts);
  int Count() const;
  // "" for a position outside 1..Count().
  QString Text(int position) const;
  void SetText(int position, const QString& text);
  // Positions outside 1..Count() are ignored.
  void Remove(int position);
  void Clear();

  // 0 when nothing is selected.
  int SelectedItem() const;
  void Select(int position);
  void EnsureVisible(int position);
  // The entry under a point of the list's viewport, or 0.
  int HitTest(const QPoint& viewport_point) const;
  // Exact, case-sensitive comparison. Kept fast for lists of many thousand
  // entries: the sample loader asks once per sample.
  bool ContainsText(const QString& text) const;

 private:
  void Invalidate();
  void Tally(const QString& text, int delta) const;

  QTreeWidget* widget_ = nullptr;
  int columns_ = 0;
  // How often each text is listed. Rebuilt on demand after any change that
  // did not come through this adapter (the widget's own API, a model reset).
  mutable QHash<QString, int> counts_;
  mutable bool counts_valid_ = false;
  bool own_change_ = false;
  // The window deletes its controls after its members: the widget must not
  // call back into a gone adapter.
  std::vector<QMetaObject::Connection> connections_;
};

}  // namespace delvora
