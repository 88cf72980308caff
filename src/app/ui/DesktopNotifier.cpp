#include "DesktopNotifier.h"

#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>

namespace vx {

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
const QString AppName = QStringLiteral("Vantorix");
const QString AppIcon = QStringLiteral("vantorix");
// The server's default time on screen.
constexpr int DefaultTimeout = -1;

// Without an address in the environment or the user's bus socket, asking for the session bus
// would try to start one; a desktop without a bus simply gets no notification.
bool SessionBusNamed() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

} // namespace

TDesktopNotifier::TDesktopNotifier()
    : FConnection(SessionBusNamed() ? QDBusConnection::sessionBus() : QDBusConnection(QString())) {}

bool TDesktopNotifier::Notify(const QString& ASummary, const QString& ABody) {
    if (!FConnection.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    call << AppName << 0u << AppIcon << ASummary << ABody << QStringList() << QVariantMap() << DefaultTimeout;
    return FConnection.send(call);
}

} // namespace vx
