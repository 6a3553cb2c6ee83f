#include "platform/list_view.h"

#include <QAbstractItemModel>
#include <QAccessible>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPainter>
#include <QTreeView>
#include <algorithm>
#include <cstdlib>

#include "platform/entry_announcer.h"
#include "platform/qt_path_text.h"
#include "platform/twips.h"

namespace delvora {

namespace {
constexpr int kAnnouncedEntries = 64;
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

int EntryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(texts_.size());
}

QVariant EntryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= texts_.size()) return QVariant();
  // A name that is not UTF-8, or one with invisible characters, is shown
  // with escapes; the entry keeps it as it is.
  if (role == Qt::DisplayRole) return ShownPathText(texts_[index.row()]);
  return QVariant();
}

QVariant EntryModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole) return header_;
  return QVariant();
}

Qt::ItemFlags EntryModel::flags(const QModelIndex& index) const {
  // Entries are picked, never edited in place or dragged away as data.
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren
                         : Qt::NoItemFlags;
}

void EntryModel::SetHeader(const QString& header) {
  header_ = header;
  emit headerDataChanged(Qt::Horizontal, 0, 0);
}

void EntryModel::Append(const QStringList& texts) {
  if (texts.isEmpty()) return;
  const int first = static_cast<int>(texts_.size());
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(texts.size()) - 1);
  texts_.append(texts);
  endInsertRows();
}

void EntryModel::SetText(int row, const QString& text) {
  texts_[row] = text;
  const QModelIndex changed = index(row, 0);
  emit dataChanged(changed, changed, {Qt::DisplayRole});
}

void EntryModel::Remove(int row) {
  beginRemoveRows(QModelIndex(), row, row);
  texts_.removeAt(row);
  endRemoveRows();
}

void EntryModel::Clear() {
  beginResetModel();
  texts_.clear();
  texts_.squeeze();
  endResetModel();
}

ListTreeView::ListTreeView(QWidget* parent) : QTreeView(parent) {}

void ListTreeView::doItemsLayout() {
  QTreeView::doItemsLayout();
  ++layouts_;
  // Entries are told of once the view knows their rows: a screen reader
  // asks for them at once, and before the layout there is nothing to give.
  if (pending_first_ < 0) return;
  const int first = pending_first_;
  const int last = pending_last_;
  pending_first_ = pending_last_ = -1;
  Announce(QAccessible::ObjectCreated, first, last);
}

void ListTreeView::EntriesInserted(int first, int last) {
  if (!QAccessible::isActive()) return;
  // Appends follow each other: one range covers every batch since the
  // last layout.
  pending_first_ = pending_first_ < 0 ? first : std::min(pending_first_, first);
  pending_last_ = std::max(pending_last_, last);
}

void ListTreeView::EntriesRemoved(int first, int last) {
  if (pending_first_ >= 0) {
    // Entries not yet told of are simply no longer there to tell of.
    const int removed = last - first + 1;
    if (first <= pending_first_) {
      pending_first_ = std::max(first, pending_first_ - removed);
    }
    pending_last_ -= removed;
    if (pending_last_ < pending_first_) pending_first_ = pending_last_ = -1;
  }
  // Still laid out: the entries that go can be named while they are there.
  Announce(QAccessible::ObjectDestroyed, first, last);
}

void ListTreeView::Announce(QAccessible::Event type, int first, int last) {
  if (!QAccessible::isActive() || model() == nullptr) return;
  // A large change announces its first entries only; the reader reads the
  // list anew from any of them.
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(this);
  QAccessibleTableInterface* table = list != nullptr ? list->tableInterface() : nullptr;
  if (table == nullptr) return;
  // Only rows the view has laid out can be named.
  last = std::min({last, table->rowCount() - 1, first + kAnnouncedEntries - 1});
  for (int row = first; row <= last; ++row) {
    if (QAccessibleInterface* entry = table->cellAt(row, 0)) AnnounceEntry(list, entry, type);
  }
}

ListView::ListView(ListTreeView* widget) { Attach(widget); }

void ListView::Attach(ListTreeView* widget) {
  widget_ = widget;
  model_ = nullptr;
  counts_.clear();
  counts_valid_ = false;
  if (widget_ == nullptr) return;
  model_ = new EntryModel(widget_);
  // The view's own notice of a changed model reaches no screen reader on
  // every system: each entry that comes or goes is announced as an object
  // of its own, as widgets are. Arrivals wait for the view's own deferred
  // layout, so a walk adding folder after folder never lays the list out
  // more often than the view would.
  QObject::connect(
      model_, &QAbstractItemModel::rowsInserted, widget_,
      [widget](const QModelIndex&, int first, int last) { widget->EntriesInserted(first, last); });
  QObject::connect(
      model_, &QAbstractItemModel::rowsAboutToBeRemoved, widget_,
      [widget](const QModelIndex&, int first, int last) { widget->EntriesRemoved(first, last); });
  QObject::connect(model_, &QAbstractItemModel::modelAboutToBeReset, widget_, [this, widget] {
    if (Count() > 0) widget->EntriesRemoved(0, Count() - 1);
  });
  // Connected first, so that the entries are told of before the view drops them.
  widget_->setModel(model_);
}

void ListView::Tally(const QString& text, int delta) const {
  if (!counts_valid_) return;
  int& count = counts_[text];
  count += delta;
  if (count <= 0) counts_.remove(text);
}

QModelIndex ListView::IndexOf(int position) const {
  if (position < 1 || position > Count()) return QModelIndex();
  return model_->index(position - 1, 0);
}

void ListView::AddColumn(const QString& header) {
  ++columns_;
  model_->SetHeader(header);
  widget_->setHeaderHidden(false);
}

void ListView::SetColumnWidthTwips(int column, int twips) {
  widget_->setColumnWidth(column - 1, TwipsToPixels(twips));
}

int ListView::ColumnCount() const { return columns_; }

QString ListView::ColumnHeader(int column) const {
  return column == 1 && columns_ >= 1 ? model_->Header() : QString();
}

void ListView::Add(const QString& text) { AddMany(QStringList{text}); }

void ListView::AddMany(const QStringList& texts) {
  if (texts.isEmpty()) return;
  model_->Append(texts);
  if (counts_valid_) {
    for (const QString& text : texts) Tally(text, +1);
  }
}

int ListView::Count() const { return model_ != nullptr ? model_->rowCount() : 0; }

QString ListView::Text(int position) const {
  if (position < 1 || position > Count()) return QString();
  return model_->Text(position - 1);
}

void ListView::SetText(int position, const QString& text) {
  if (position < 1 || position > Count()) return;
  Tally(model_->Text(position - 1), -1);
  model_->SetText(position - 1, text);
  Tally(text, +1);
}

void ListView::Remove(int position) {
  if (position < 1 || position > Count()) return;
  Tally(model_->Text(position - 1), -1);
  model_->Remove(position - 1);
}

void ListView::Clear() {
  model_->Clear();
  counts_.clear();
  counts_valid_ = true;
}

int ListView::SelectedItem() const {
  const QModelIndexList selected = widget_->selectionModel()->selectedRows();
  return selected.isEmpty() ? 0 : selected.first().row() + 1;
}

void ListView::Select(int position) {
  const QModelIndex index = IndexOf(position);
  if (!index.isValid()) return;
  widget_->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ListView::EnsureVisible(int position) {
  const QModelIndex index = IndexOf(position);
  if (index.isValid()) widget_->scrollTo(index);
}

int ListView::HitTest(const QPoint& viewport_point) const {
  // Outside the visible list there is no entry, whatever lies scrolled away.
  if (!widget_->viewport()->rect().contains(viewport_point)) return 0;
  const QModelIndex index = widget_->indexAt(viewport_point);
  return index.isValid() ? index.row() + 1 : 0;
}

QRect ListView::EntryRect(int position) const {
  const QModelIndex index = IndexOf(position);
  return index.isValid() ? widget_->visualRect(index) : QRect();
}

bool ListView::ContainsText(const QString& text) const {
  if (!counts_valid_) {
    counts_.clear();
    const int count = Count();
    counts_.reserve(count);
    for (int i = 0; i < count; ++i) ++counts_[model_->Text(i)];
    counts_valid_ = true;
  }
  return counts_.contains(text);
}

}  // namespace delvora
