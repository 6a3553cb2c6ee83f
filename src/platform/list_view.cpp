#include "platform/list_view.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QTreeWidgetItem>

namespace delvora {

ListView::ListView(QTreeWidget* widget) : widget_(widget) {}

void ListView::AddColumn(const QString& header) {
  ++columns_;
  widget_->setColumnCount(columns_);
  widget_->headerItem()->setText(columns_ - 1, header);
}

void ListView::SetColumnWidthTwips(int column, int twips) {
  widget_->setColumnWidth(column - 1, twips / 15);
}

int ListView::ColumnCount() const { return columns_; }

QString ListView::ColumnHeader(int column) const {
  return widget_->headerItem()->text(column - 1);
}

void ListView::Add(const QString& text) {
  auto* item = new QTreeWidgetItem(widget_);
  item->setText(0, text);
}

int ListView::Count() const { return widget_->topLevelItemCount(); }

QString ListView::Text(int position) const {
  QTreeWidgetItem* item = widget_->topLevelItem(position - 1);
  return item ? item->text(0) : QString();
}

void ListView::SetText(int position, const QString& text) {
  if (QTreeWidgetItem* item = widget_->topLevelItem(position - 1)) item->setText(0, text);
}

void ListView::Remove(int position) { delete widget_->takeTopLevelItem(position - 1); }

void ListView::Clear() { widget_->clear(); }

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
  QTreeWidgetItem* item = widget_->itemAt(viewport_point);
  return item ? widget_->indexOfTopLevelItem(item) + 1 : 0;
}

bool ListView::ContainsText(const QString& text) const {
  const int count = Count();
  for (int i = 1; i <= count; ++i) {
    if (Text(i) == text) return true;
  }
  return false;
}

}  // namespace delvora
