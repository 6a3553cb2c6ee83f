#include "platform/entry_announcer.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QString>
#include <QVariantMap>

namespace delvora {

namespace {

// An AT-SPI object reference: the application's bus name and the object's path.
struct ObjectReference {
  QString service;
  QDBusObjectPath path;
};

QDBusArgument& operator<<(QDBusArgument& argument, const ObjectReference& reference) {
  argument.beginStructure();
  argument << reference.service << reference.path;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ObjectReference& reference) {
  argument.beginStructure();
  argument >> reference.service >> reference.path;
  argument.endStructure();
  return argument;
}

// The path under which Qt's bridge publishes an accessible object.
QString PathOf(QAccessibleInterface* object) {
  return QStringLiteral("/org/a11y/atspi/accessible/") +
         QString::number(QAccessible::uniqueId(object));
}

}  // namespace

}  // namespace delvora

Q_DECLARE_METATYPE(delvora::ObjectReference)

namespace delvora {

void AnnounceEntry(QAccessibleInterface* list, QAccessibleInterface* entry,
                   QAccessible::Event type) {
  // Qt's AT-SPI bridge names a new child by the list's child count and a
  // child that goes by -1: a reader cannot tell which entry it was. Where
  // that bridge has its bus, the notice is sent on it here, with the place.
  QDBusConnection bus(QStringLiteral("a11y"));
  const int index = list->indexOfChild(entry);
  if (!bus.isConnected() || index < 0) {
    QAccessibleEvent event(entry, type);
    QAccessible::updateAccessibility(&event);
    return;
  }
  static const bool registered = (qDBusRegisterMetaType<ObjectReference>(), true);
  (void)registered;
  QDBusMessage notice =
      QDBusMessage::createSignal(PathOf(list), QStringLiteral("org.a11y.atspi.Event.Object"),
                                 QStringLiteral("ChildrenChanged"));
  const ObjectReference child{bus.baseService(), QDBusObjectPath(PathOf(entry))};
  notice << (type == QAccessible::ObjectCreated ? QStringLiteral("add") : QStringLiteral("remove"))
         << index << 0 << QVariant::fromValue(QDBusVariant(QVariant::fromValue(child)))
         << QVariantMap();
  bus.send(notice);
}

}  // namespace delvora
