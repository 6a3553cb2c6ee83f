#include "platform/entry_announcer.h"

namespace delvora {

void AnnounceEntry(QAccessibleInterface* /*list*/, QAccessibleInterface* entry,
                   QAccessible::Event type) {
  // UI Automation asks the list for the entry's place itself.
  QAccessibleEvent event(entry, type);
  QAccessible::updateAccessibility(&event);
}

}  // namespace delvora
