// Desktop notifications through org.freedesktop.Notifications on the D-Bus session bus. With
// no session bus, or no notification service on it, nothing is shown and nothing fails: the
// window's own message is the one that counts.
#pragma once

#include <QDBusConnection>
#include <QString>

namespace vx {

class TDesktopNotifier {
public:
    // The session bus, when the environment names one.
    TDesktopNotifier();

    // Another bus (a test's own, say).
    void SetConnection(const QDBusConnection& AConnection) { FConnection = AConnection; }
    bool Connected() const { return FConnection.isConnected(); }

    // Sends the notification without waiting for the service; false when there is no bus.
    bool Notify(const QString& ASummary, const QString& ABody);

private:
    QDBusConnection FConnection;
};

} // namespace vx
