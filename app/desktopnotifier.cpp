// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "desktopnotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace halcyra {

bool DesktopNotifier::notify(const QString &summary, const QString &body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // Sent without waiting for the reply: a notification service that hangs
    // must not hold up the window, which is decoding frames as they arrive.
    call.setAutoStartService(true);
    call << QStringLiteral("Halcyra") << 0u << QStringLiteral("dialog-warning") << summary << body << QStringList()
         << QVariantMap{{QStringLiteral("urgency"), QVariant::fromValue<uchar>(2)}} << -1;
    return bus.send(call);
}

} // namespace halcyra
