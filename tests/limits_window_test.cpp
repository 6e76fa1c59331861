// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Limits in the main window: the value boxes, the chart's lines, and the
// desktop notification when a followed field goes red, sent to a listener on
// a session bus of the test's own.

#include "limitmarks.h"
#include "limittext.h"
#include "logfile.h"
#include "loggen.h"
#include "trendchart.h"
#include "windowfixture.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QRadioButton>
#include <QScrollBar>

using namespace halcyra;
using namespace halcyra::test;

namespace {

constexpr int kField = 5; // CW bcn Curr, 0.3052503 mA a count

QByteArray frameWith(std::uint16_t raw)
{
    std::array<std::uint16_t, 32> words{};
    words[kField] = raw;
    return QByteArray::fromStdString("10:15 " + loggen::makeT1Frame(words) + "\r\n");
}

const QByteArray kGreen = frameWith(100);  // 30.5 mA
const QByteArray kYellow = frameWith(500); // 152.6 mA
const QByteArray kRed = frameWith(1000);   // 305.3 mA
const QByteArray kLimits = "[" + QByteArray::fromStdString(limitsFieldName(kField)) +
                           "]\nyellow_high = 100\nred_high = 200\npersistence = 2\n";

} // namespace

// What the notification service would show: every Notify call.
class NotificationListener : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList summaries, bodies;

public slots:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &, int)
    {
        if (summary == QLatin1String("sync")) // the test's own, see notified()
            return 0;
        summaries << summary;
        bodies << body;
        return static_cast<uint>(bodies.size());
    }
};

class LimitsWindowTest : public QObject, WindowFixture {
    Q_OBJECT

    QProcess bus;
    NotificationListener listener;
    QString path;

    bool append(const QByteArray &bytes) { return writeFile(path, bytes, QIODevice::Append); }
    // The notifications the window sent so far: a call of our own on the
    // window's connection comes back only after the listener has taken every
    // call sent before it, as the bus keeps one sender's calls in order.
    qsizetype notified()
    {
        QDBusMessage sync = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
        sync << QString() << 0u << QString() << QStringLiteral("sync") << QString() << QStringList() << QVariantMap()
             << 0;
        QDBusConnection::sessionBus().call(sync, QDBus::BlockWithGui);
        return listener.bodies.size();
    }
    QLineEdit *box() const { return ui().Text1(kField); }
    bool shows(LimitState state) const
    {
        return box()->font().bold() == (state == LimitState::Red) &&
               box()->font().italic() == (state == LimitState::Yellow) &&
               box()->accessibleDescription() == LimitMarks::description(state);
    }

private slots:
    void initTestCase()
    {
        bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                  QStringLiteral("--nopidfile"), QStringLiteral("--print-address")});
        QVERIFY2(bus.waitForStarted(), "dbus-daemon does not start");
        QTRY_VERIFY(bus.canReadLine());
        const QByteArray address = bus.readLine().trimmed();
        // Before the window's first use of the session bus, which connects once.
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        QDBusConnection service =
            QDBusConnection::connectToBus(QString::fromLatin1(address), QStringLiteral("listener"));
        QVERIFY(service.isConnected());
        QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &listener,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
    }
    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("listener"));
        bus.terminate();
        bus.waitForFinished();
    }
    void cleanup() { window.reset(); }

    void aFollowedRedFrameMarksTheBoxKeepsTheFieldAndNotifiesOnce()
    {
        // LIMITS relative to the folder of conf.ini, not to where the program runs.
        open("LIMITS = limits.toml\n", {{"limits.toml", kLimits}});
        QVERIFY(ui().Option1(kField)->toolTip().contains("yellow above 100, red above 200; 2 frames in a row"));
        path = file("pass.log");
        // Red frames before following raise no alarm.
        QVERIFY(writeFile(path, kRed + kRed + kGreen + kGreen + kRed));
        QVERIFY(window->Open_Log(path));
        ui().Option1_Click(kField);
        QVERIFY(shows(LimitState::Red)); // a record's own value while not followed
        ui().HScroll1()->setValue(3);
        QVERIFY(shows(LimitState::Green));
        QCOMPARE(ui().MSChart1()->limitLine(LimitBound::RedHigh)->point1->value(), 200.0);
        QVERIFY(ui().MSChart1()->limitLine(LimitBound::YellowHigh)->visible());
        QVERIFY(!ui().MSChart1()->limitLine(LimitBound::RedLow)->visible());

        ui().logFollower()->setNotifications(false); // the test's own checks drive it
        ui().MnuFollowLog()->trigger();
        QVERIFY(ui().logFollower()->isFollowing());
        QTRY_VERIFY(ui().Label3()->text().contains("archived")); // before the alarm, not over it
        // Followed, the newest record shows the evaluator's state: one red
        // frame of two in a row is not red yet.
        QVERIFY(shows(LimitState::Green));

        const auto arrive = [&](const QByteArray &frame, int count) {
            QVERIFY(append(frame));
            ui().logFollower()->check();
            QTRY_COMPARE(ui().t1Store().count, count);
            QCOMPARE(ui().HScroll1()->value(), count); // the view stays on the newest record
            QVERIFY(ui().Option1(kField)->isChecked());
            QVERIFY(ui().Frame8()->title().startsWith("CW bcn Curr"));
        };
        arrive(kRed, 6);
        QVERIFY(shows(LimitState::Red));
        QCOMPARE(box()->palette().color(QPalette::Text), QColor(192, 0, 0));
        QCOMPARE(notified(), 1);
        const QString said = QStringLiteral("cw_bcn_curr 305.2503 red, above red_high 200");
        QCOMPARE(listener.bodies.front(), said);
        QCOMPARE(listener.summaries.front(), QStringLiteral("CW bcn Curr is red"));
        QCOMPARE(ui().Label3()->text(), QStringLiteral("Limit alarm: ") + said);

        arrive(kRed, 7); // still red: no second notification
        QCOMPARE(notified(), 1);
        arrive(kYellow, 8);
        QVERIFY(shows(LimitState::Red)); // leaving red takes two frames too
        arrive(kYellow, 9);
        QVERIFY(shows(LimitState::Yellow));
        arrive(kRed, 10);
        QCOMPARE(notified(), 1);
        arrive(kRed, 11); // red again: a new entry
        QCOMPARE(notified(), 2);

        ui().HScroll1()->setValue(3);
        QVERIFY(shows(LimitState::Green));
        // An edit of the text shows field 1 again.
        ui().Text2()->setPlainText(QString::fromLatin1(kGreen));
        QVERIFY(ui().Option1(1)->isChecked());
        QVERIFY(shows(LimitState::Green));
        QVERIFY(!ui().MSChart1()->limitLine(LimitBound::RedHigh)->visible()); // field 1 has no limits
        QCOMPARE(notified(), 2);
    }

    void alarmsGoOnBeyondTheKeptFramesAndAcrossARotation()
    {
        open("LIMITS = limits.toml\n", {{"limits.toml", kLimits}});
        path = file("pass.log");
        QVERIFY(writeFile(path, kGreen.repeated(kStoreCapacity + 1)));
        QVERIFY(window->Open_Log(path));
        ui().Option1_Click(kField);
        ui().logFollower()->setNotifications(false);
        ui().MnuFollowLog()->trigger();
        QTRY_VERIFY(ui().Label3()->text().contains("archived"));
        const qsizetype before = notified();

        // Two red frames in a row of their kind, a T2 frame between them, and
        // a line still being written.
        QVERIFY(append(kRed + "10:15 " + kT2 + "\r\n" + kRed + kGreen.left(40)));
        ui().logFollower()->check();
        QTRY_VERIFY(ui().Text2()->toPlainText().endsWith(QString::fromLatin1(kGreen.left(40))));
        QCOMPARE(notified(), before + 1);
        QVERIFY(ui().Label3()->text().startsWith("Limit alarm: cw_bcn_curr 305.2503 red"));
        QCOMPARE(ui().t1Store().count, kStoreCapacity);
        // The box shows the record on show, the last one kept, not the newest frame.
        QCOMPARE(ui().HScroll1()->value(), kStoreCapacity);
        QVERIFY(shows(LimitState::Green));
        QVERIFY(append(kGreen.mid(40) + kRed));
        ui().logFollower()->check();
        QTRY_VERIFY(ui().Text2()->toPlainText().endsWith(QString::fromLatin1(kRed)));
        QCOMPARE(notified(), before + 1);

        // Rotated: the new file's frames are evaluated on top of the states
        // reached, and going red again among them alarms again.
        QVERIFY(writeFile(path, kGreen + kGreen + kRed + kRed));
        ui().logFollower()->check();
        QTRY_COMPARE(ui().t1Store().count, 4);
        QCOMPARE(notified(), before + 2);
        QVERIFY(shows(LimitState::Red));
    }

    void aRefusedLimitsFileLeavesTheWindowWithoutLimits()
    {
        open("LIMITS = limits.toml\n", {{"limits.toml", kLimits + "red_low = 300\n"}});
        QVERIFY2(ui().Label3()->text().startsWith("Limits not applied: " + file("limits.toml") +
                                                  ":2:1: yellow_high 100 of [cw_bcn_curr] is below red_low 300"),
                 qPrintable(ui().Label3()->text()));
        QVERIFY(ui().Option1(kField)->toolTip().isEmpty());
        paste(kRed);
        ui().Option1_Click(kField);
        QVERIFY(shows(LimitState::Green));
        QVERIFY(!ui().MSChart1()->limitLine(LimitBound::RedHigh)->visible());
    }
};

QTEST_MAIN(LimitsWindowTest)
#include "limits_window_test.moc"
