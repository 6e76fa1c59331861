// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "fields.h"
#include "healthdock.h"
#include "healthtable.h"
#include "importer.h"
#include "logfile.h"
#include "loggen.h"
#include "recordview.h"
#include "windowfixture.h"

#include <QAction>
#include <QColor>
#include <QLabel>
#include <QSettings>
#include <QTableView>

using namespace halcyra;
using namespace halcyra::test;

namespace {

constexpr int kBatt = 17; // Batt1 Volt

QByteArray battFrame(double volts)
{
    std::array<std::uint16_t, 32> words{};
    words[kBatt] = loggen::rawFor(kBatt, volts);
    return QByteArray::fromStdString(loggen::makeT1Frame(words));
}

QString battText(double volts)
{
    const FieldInfo &f = FieldCatalogue[kBatt];
    return readingText(f, f.formula.apply(loggen::rawFor(kBatt, volts)), QLocale::system());
}

} // namespace

class HealthWindowTest : public QObject, WindowFixture {
    Q_OBJECT

    health::HealthDock *dock() const { return ui().health().dock(); }
    QString cell(int row, int column) const
    {
        const QAbstractItemModel *table = dock()->table()->model();
        return table->data(table->index(row, column), Qt::DisplayRole).toString();
    }
    bool remembered() const
    {
        return QSettings(file("home/.config/halcyra/halcyra.conf"), QSettings::IniFormat)
            .value(QStringLiteral("health/shown"))
            .toBool();
    }

private slots:
    void cleanup() { window.reset(); }

    void viewHealthOpensTheDockAndAFollowedFrameUpdatesIt()
    {
        // An archive of its own: the shared one holds other suites' frames of the last day.
        open("ARCHIVE = archive.sqlite\n");
        QVERIFY(!dock()->isVisible());
        // A station archived a lower value an hour ago.
        archive::LoggedFrame earlier;
        const QByteArray text = battFrame(6.1);
        earlier.length = static_cast<std::uint8_t>(text.size());
        std::copy(text.begin(), text.end(), earlier.text.begin());
        earlier.received = utcNow() - 3'600'000;
        const std::vector<archive::ArchiveFrame> frames{archive::decodeFrame(earlier)};
        archive::openArchive(file("archive.sqlite").toStdString())->add(frames, {"station", ""});
        ui().health().healthAction()->trigger();
        QVERIFY(dock()->isVisible());
        QVERIFY(remembered());

        const QString path = file("pass.log");
        QVERIFY(writeFile(path, "10:15 " + battFrame(7.2) + "\r\n"));
        QVERIFY(window->Open_Log(path));
        QCOMPARE(cell(kBatt, health::HealthTable::Newest), battText(7.2));
        ui().MnuFollowLog()->trigger();
        QVERIFY(ui().logFollower()->isFollowing());

        QVERIFY(writeFile(path, "10:16 " + battFrame(7.9) + "\r\n", QIODevice::Append));
        QTRY_COMPARE(cell(kBatt, health::HealthTable::Newest), battText(7.9));
        QCOMPARE(cell(kBatt, health::HealthTable::PassMin), battText(7.2));
        QCOMPARE(cell(kBatt, health::HealthTable::PassMax), battText(7.9));
        // The day holds the archive's frames with the window's, read in the background.
        QTRY_COMPARE(cell(kBatt, health::HealthTable::DayMin), battText(6.1));
        QCOMPARE(cell(kBatt, health::HealthTable::DayMax), battText(7.9));
        QVERIFY2(dock()->ages()->text().contains(QStringLiteral("T1 ")) &&
                     !dock()->ages()->text().contains(QStringLiteral("T1 none")),
                 qPrintable(dock()->ages()->text()));
        QVERIFY(dock()->ages()->text().contains(QStringLiteral("T2 none yet")));
        ui().MnuFollowLog()->trigger();
    }

    void theDockStaysOpenOrClosedFromOneRunToTheNext()
    {
        open();
        ui().health().healthAction()->trigger();
        // Another run on the same settings, while the first is closed.
        window.reset();
        window = std::make_unique<Form1>(folder->path());
        window->show();
        QVERIFY(dock()->isVisible());
        // Its own close button closes it for the next run too.
        dock()->close();
        QVERIFY(!remembered());
        // Closing the window hides the dock without closing it for good.
        ui().health().healthAction()->trigger();
        window->close();
        QVERIFY(remembered());
    }

    void statesReadInWordsAndARefusedLimitsFileIsNamed()
    {
        open();
        QVERIFY(writeFile(file("conf.ini"), "LIMITS = " + QFile::encodeName(file("limits.toml")) + "\n"));
        QVERIFY(writeFile(file("limits.toml"), "[batt1_volt]\nyellow_high = 7.5\nred_high = 8.5\n"));
        window = std::make_unique<Form1>(folder->path()); // reads the limits file at start
        window->show();
        ui().health().healthAction()->trigger();
        paste(battFrame(7.9) + "\r\n");
        QCOMPARE(cell(kBatt, health::HealthTable::State), QStringLiteral("\u25B2 yellow"));
        const QAbstractItemModel *table = dock()->table()->model();
        QCOMPARE(table->data(table->index(kBatt, health::HealthTable::State), Qt::BackgroundRole).value<QColor>(),
                 QColor(255, 225, 120));
        QCOMPARE(cell(kBatt + 1, health::HealthTable::State), QStringLiteral("no limits"));
        // The note may tell of the archive, not of the limits.
        QVERIFY(!dock()->findChild<QLabel *>(QStringLiteral("healthNote"))->text().contains(QStringLiteral("limits")));

        // A file with a fault applies no limits, and the view says why.
        QVERIFY(writeFile(file("limits.toml"), "[batt1_volt]\nyellow_high = 9\nred_high = 8.5\n"));
        window = std::make_unique<Form1>(folder->path());
        window->show();
        paste(battFrame(7.9) + "\r\n");
        QCOMPARE(cell(kBatt, health::HealthTable::State), QStringLiteral("no limits"));
        const QLabel *note = dock()->findChild<QLabel *>(QStringLiteral("healthNote"));
        QVERIFY(note->isVisible());
        QVERIFY2(note->text().startsWith(QStringLiteral("Limits not applied: ")) &&
                     note->text().contains("limits.toml"),
                 qPrintable(note->text()));
    }

    void framesThatCameWhileItWasClosedShowWhenItOpens()
    {
        open();
        paste("2026-12-07 10:00:00.000 UTC\r\n" + battFrame(6.9) + "\r\n");
        ui().health().healthAction()->trigger();
        QCOMPARE(cell(kBatt, health::HealthTable::Newest), battText(6.9));
        paste(QByteArray());
        QCOMPARE(cell(kBatt, health::HealthTable::Newest), QString());
    }
};

QTEST_MAIN(HealthWindowTest)
#include "health_window_test.moc"
