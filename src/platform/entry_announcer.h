#pragma once

// Tells a screen reader that an entry of a list came or went, with the
// entry's own place among the list's children (its header first), so that
// the reader knows which one without reading the whole list again.

#include <QAccessible>

namespace delvora {

// type is QAccessible::ObjectCreated or ObjectDestroyed; list and entry are
// the accessible list and the entry's cell, the entry still in the list.
void AnnounceEntry(QAccessibleInterface* list, QAccessibleInterface* entry,
                   QAccessible::Event type);

}  // namespace delvora
