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
