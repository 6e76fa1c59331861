// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Input nobody should paste, through the real window: nothing may crash, write
// beyond the stores, or leave the user without word of what happened.

#include "trendchart.h"
#include "windowfixture.h"

#include <QLabel>
#include <QScrollBar>

#include <random>

using namespace halcyra;
using namespace halcyra::test;

class HostileTest : public QObject, WindowFixture {
    Q_OBJECT

    void checkStoresWithinCapacity()
    {
        QVERIFY(ui().t1Store().count <= kStoreCapacity && ui().t2Store().count <= kStoreCapacity);
        QVERIFY(ui().HScroll1()->maximum() <= kStoreCapacity);
        QVERIFY(ui().MSChart1()->bars()->data()->size() <= kStoreCapacity);
    }

private slots:
    void cleanup() { window.reset(); }

    void tenMegabytesOfFrames()
    {
        open();
        // Each frame's uptime word counts up, so the kept ones can be told apart.
        QByteArray log;
        for (int i = 1; i <= 5000; ++i) {
            QByteArray t1 = kT1;
            t1.replace(2, 4, QByteArray::number((i & 0xFF) << 8 | i >> 8, 16).rightJustified(4, '0'));
            log += t1 + '\n' + kT2 + '\n';
        }
        log = log.repeated(9); // 45000 frames of each kind, 10 MB
        QVERIFY(log.size() > 10'000'000);
        paste(log);
        checkStoresWithinCapacity();
        QCOMPARE(ui().t1Store().records[1000].Values[0], 1000.0 / 1440);
        QCOMPARE(ui().Label3()->text(),
                 QStringLiteral("Only the first 1000 T1 frames are kept; 44000 more were ignored. "
                                "Only the first 1000 T2 frames are kept; 44000 more were ignored"));
        ui().HScroll1()->setValue(1000);
        QCOMPARE(ui().Label2()->text(), QStringLiteral("1000/1000"));
    }

    void binaryGarbageAndLongLines_data()
    {
        QTest::addColumn<QString>("text");
        std::mt19937 rng(3);
        QString garbage(1 << 20, QChar());
        for (QChar &c : garbage)
            c = QChar(static_cast<char16_t>(rng() % 256)); // NULs, control bytes, Latin-1
        QTest::newRow("binary with NULs") << garbage;
        QTest::newRow("one 1 MB line") << QString(1 << 20, QLatin1Char('T'));
        QTest::newRow("a frame as a 1 MB line") << QStringLiteral("10:15 T1") + QString(1 << 20, QLatin1Char('F'));
        QTest::newRow("characters beyond Latin-1") << QStringLiteral("10:15 T1") + QString(100, QChar(0x4E00)) +
                                                          QStringLiteral("\n\U0001F6F0 2014-07-22 UTC R] T2");
        QTest::newRow("only line ends") << QString(100000, QLatin1Char('\r'));
    }
    void binaryGarbageAndLongLines()
    {
        QFETCH(QString, text);
        open();
        paste(text);
        checkStoresWithinCapacity();
        QCOMPARE(ui().t1Store().count, 0);
        ui().Text2()->textCursor().insertText(QStringLiteral("x")); // and a keystroke after it
        QApplication::processEvents();
        checkStoresWithinCapacity();
    }
    void damagedFramesThroughTheWindow()
    {
        open();
        const QByteArray payload = kT1.mid(2);
        // Tabs change the length; a G ends its byte's reading; case does not matter.
        paste("T1\t" + payload + "\nT10000G1" + kT1.mid(8) + "\nt10000ab00" + kT1.mid(10));
        QCOMPARE(ui().t1Store().count, 2);
        QCOMPARE(ui().t1Store().records[1].Values[1], 0.0);
        QCOMPARE(ui().t1Store().records[2].Values[1], 171 * 0.3052503);
    }
};

QTEST_MAIN(HostileTest)
#include "hostile_test.moc"
