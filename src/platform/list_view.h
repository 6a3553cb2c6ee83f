#pragma once

// The file list's control: a report-style list with one column, addressed
// by 1-based positions as the handlers number entries.

#include <QAbstractListModel>
#include <QAccessible>
#include <QHash>
#include <QHeaderView>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTreeView>

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

// The entries themselves: one text each, nothing else, so that a list of a
// million paths costs little more than the paths.
class EntryModel : public QAbstractListModel {
 public:
  explicit EntryModel(QObject* parent) : QAbstractListModel(parent) {}
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  void SetHeader(const QString& header);
  const QString& Header() const { return header_; }
  void Append(const QStringList& texts);
  const QString& Text(int row) const { return texts_[row]; }
  void SetText(int row, const QString& text);
  void Remove(int row);
  void Clear();

 private:
  QList<QString> texts_;
  QString header_;
};

// The list's widget. It lays out its entries only in its own deferred pass
// (one per turn of the event loop, however many batches arrived), and tells
// a screen reader of new entries once that pass has given them rows.
class ListTreeView : public QTreeView {
 public:
  explicit ListTreeView(QWidget* parent = nullptr);
  void doItemsLayout() override;
  // How often the entries were laid out: the work of adding must stay one
  // pass per turn, never one per batch.
  int Layouts() const { return layouts_; }

  // From the list's model: rows 0-based, inclusive.
  void EntriesInserted(int first, int last);
  void EntriesRemoved(int first, int last);

 private:
  void Announce(QAccessible::Event type, int first, int last);
  int layouts_ = 0;
  int pending_first_ = -1;
  int pending_last_ = -1;
};

class ListView {
 public:
  // `widget` may be null and attached later (the window creates its controls
  // after its members). Attaching gives the widget its entries.
  explicit ListView(ListTreeView* widget);
  ListView(const ListView&) = delete;
  ListView& operator=(const ListView&) = delete;
  void Attach(ListTreeView* widget);

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
  // The entry's rectangle in the viewport; empty for no entry.
  QRect EntryRect(int position) const;
  // Exact, case-sensitive comparison. Kept fast for lists of many thousand
  // entries: the sample loader asks once per sample.
  bool ContainsText(const QString& text) const;

 private:
  void Tally(const QString& text, int delta) const;
  QModelIndex IndexOf(int position) const;

  ListTreeView* widget_ = nullptr;
  // Lives as long as the widget, its parent.
  EntryModel* model_ = nullptr;
  int columns_ = 0;
  // How often each text is listed, built on the first question.
  mutable QHash<QString, int> counts_;
  mutable bool counts_valid_ = false;
};

}  // namespace delvora
