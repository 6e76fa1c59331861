// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <QString>

namespace halcyra {

// Desktop notifications through the freedesktop notification service on the
// session bus. Without a session bus or a service nothing shows, and nothing
// is reported either: whoever notifies says the same in the window too.
class DesktopNotifier {
public:
    // Queues the notification and returns at once; false when there is no
    // session bus to send it on.
    bool notify(const QString &summary, const QString &body);
};

} // namespace halcyra
