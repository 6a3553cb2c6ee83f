#include "platform/list_view.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <algorithm>
#include <cstdlib>

#include "platform/twips.h"

namespace delvora {

namespace {

// Marks a change made through the adapter, which keeps the counts itself.
class OwnChange {
 public:
  explicit OwnChange(bool& flag) : flag_(flag), previous_(flag) { flag_ = true; }
  ~OwnChange() { flag_ = previous_; }
  OwnChange(const OwnChange&) = delete;
  OwnChange& operator=(const OwnChange&) = delete;

 private:
  bool& flag_;
  bool previous_;
};

}  // namespace

ListHeader::ListHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
  setMouseTracking(true);
  viewport()->setMouseTracking(true);
}

int ListHeader::DividerAt(int x) const {
  for (int visual = count() - 1; visual >= 0; --visual) {
    const int logical = logicalIndex(visual);
    if (isSectionHidden(logical)) continue;
    const int edge = sectionViewportPosition(logical) + sectionSize(logical);
    if (std::abs(x - edge) <= kGrip) return logical;
  }
  return -1;
}

void ListHeader::paintEvent(QPaintEvent* event) {
  QHeaderView::paintEvent(event);
  // The line the list's tip asks the user to move, whatever the style or
  // skin draws between sections: a dark line with a light one beside it.
  QPainter painter(viewport());
  for (int visual = 0; visual < count(); ++visual) {
    const int logical = logicalIndex(visual);
    if (isSectionHidden(logical)) continue;
    const int x = sectionViewportPosition(logical) + sectionSize(logical) - 1;
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(x, 3, x, height() - 4);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(x + 1, 3, x + 1, height() - 4);
  }
}

void ListHeader::mousePressEvent(QMouseEvent* event) {
  const int x = event->position().toPoint().x();
  const int divider = event->button() == Qt::LeftButton ? DividerAt(x) : -1;
  if (divider < 0) {
    QHeaderView::mousePressEvent(event);
    return;
  }
  resizing_ = divider;
  grab_offset_ = x - (sectionViewportPosition(divider) + sectionSize(divider));
  event->accept();
}

void ListHeader::mouseMoveEvent(QMouseEvent* event) {
  const int x = event->position().toPoint().x();
  if (resizing_ >= 0) {
    const int width = x - grab_offset_ - sectionViewportPosition(resizing_);
    resizeSection(resizing_, std::max(minimumSectionSize(), width));
    event->accept();
    return;
  }
  QHeaderView::mouseMoveEvent(event);
  if (event->buttons() == Qt::NoButton) {
    if (DividerAt(x) >= 0) {
      viewport()->setCursor(Qt::SplitHCursor);
    } else {
      viewport()->unsetCursor();
    }
  }
}

void ListHeader::mouseReleaseEvent(QMouseEvent* event) {
  if (resizing_ < 0) {
    QHeaderView::mouseReleaseEvent(event);
    return;
  }
  resizing_ = -1;
  event->accept();
}

ListView::ListView(QTreeWidget* widget) { Attach(widget); }

ListView::~ListView() {
  for (const QMetaObject::Connection& connection : connections_) QObject::disconnect(connection);
}

void ListView::Attach(QTreeWidget* widget) {
  for (const QMetaObject::Connection& connection : connections_) QObject::disconnect(connection);
  connections_.clear();
  widget_ = widget;
  counts_.clear();
  counts_valid_ = false;
  if (widget_ == nullptr) return;
  QAbstractItemModel* model = widget_->model();
  const auto changed = [this] { Invalidate(); };
  connections_ = {
      QObject::connect(model, &QAbstractItemModel::rowsInserted, widget_, changed),
      QObject::connect(model, &QAbstractItemModel::rowsRemoved, widget_, changed),
      QObject::connect(model, &QAbstractItemModel::rowsMoved, widget_, changed),
      QObject::connect(model, &QAbstractItemModel::dataChanged, widget_, changed),
      QObject::connect(model, &QAbstractItemModel::modelReset, widget_, changed),
      QObject::connect(model, &QAbstractItemModel::layoutChanged, widget_, changed),
  };
}

void ListView::Invalidate() {
  if (!own_change_) counts_valid_ = false;
}

void ListView::Tally(const QString& text, int delta) const {
  if (!counts_valid_) return;
  int& count = counts_[text];
  count += delta;
  if (count <= 0) counts_.remove(text);
}

void ListView::AddColumn(const QString& header) {
  ++columns_;
  widget_->setColumnCount(columns_);
  widget_->headerItem()->setText(columns_ - 1, header);
  widget_->setHeaderHidden(false);
}

void ListView::SetColumnWidthTwips(int column, int twips) {
  widget_->setColumnWidth(column - 1, TwipsToPixels(twips));
}

int ListView::ColumnCount() const { return columns_; }

QString ListView::ColumnHeader(int column) const { return widget_->headerItem()->text(column - 1); }

void ListView::Add(const QString& text) {
  OwnChange own(own_change_);
  auto* item = new QTreeWidgetItem;
  item->setText(0, text);
  widget_->addTopLevelItem(item);
  Tally(text, +1);
}

void ListView::AddMany(const QStringList& texts) {
  if (texts.isEmpty()) return;
  OwnChange own(own_change_);
  QList<QTreeWidgetItem*> items;
  items.reserve(texts.size());
  for (const QString& text : texts) {
    auto* item = new QTreeWidgetItem;
    item->setText(0, text);
    items.append(item);
    Tally(text, +1);
  }
  widget_->addTopLevelItems(items);
}

int ListView::Count() const { return widget_->topLevelItemCount(); }

QString ListView::Text(int position) const {
  QTreeWidgetItem* item = widget_->topLevelItem(position - 1);
  return item ? item->text(0) : QString();
}

void ListView::SetText(int position, const QString& text) {
  QTreeWidgetItem* item = widget_->topLevelItem(position - 1);
  if (item == nullptr) return;
  OwnChange own(own_change_);
  Tally(item->text(0), -1);
  item->setText(0, text);
  Tally(text, +1);
}

void ListView::Remove(int position) {
  if (position < 1 || position > Count()) return;
  OwnChange own(own_change_);
  QTreeWidgetItem* item = widget_->takeTopLevelItem(position - 1);
  Tally(item->text(0), -1);
  delete item;
}

void ListView::Clear() {
  OwnChange own(own_change_);
  widget_->clear();
  counts_.clear();
  counts_valid_ = true;
}

int ListView::SelectedItem() const {
  const QList<QTreeWidgetItem*> selected = widget_->selectedItems();
  if (selected.isEmpty()) return 0;
  return widget_->indexOfTopLevelItem(selected.first()) + 1;
}

void ListView::Select(int position) {
  if (QTreeWidgetItem* item = widget_->topLevelItem(position - 1)) {
    widget_->setCurrentItem(item);
    widget_->clearSelection();
    item->setSelected(true);
  }
}

void ListView::EnsureVisible(int position) {
  if (QTreeWidgetItem* item = widget_->topLevelItem(position - 1)) widget_->scrollToItem(item);
}

int ListView::HitTest(const QPoint& viewport_point) const {
  // Outside the visible list there is no entry, whatever lies scrolled away.
  if (!widget_->viewport()->rect().contains(viewport_point)) return 0;
  QTreeWidgetItem* item = widget_->itemAt(viewport_point);
  return item ? widget_->indexOfTopLevelItem(item) + 1 : 0;
}

bool ListView::ContainsText(const QString& text) const {
  if (!counts_valid_) {
    counts_.clear();
    const int count = Count();
    counts_.reserve(count);
    for (int i = 0; i < count; ++i) ++counts_[widget_->topLevelItem(i)->text(0)];
    counts_valid_ = true;
  }
  return counts_.contains(text);
}

}  // namespace delvora
