// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Input nobody should paste, through the real window: nothing may crash, write
// beyond the stores, or leave the user without word of what happened.

#include "loggen.h"
#include "mainwindow.h"
#include "trendchart.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <random>

using namespace halcyra;

namespace {

const QString kT1 = QStringLiteral("T1") + QString(128, QLatin1Char('0'));
const QString kT2 = QStringLiteral("T2") + QString(96, QLatin1Char('0'));

} // namespace

class HostileTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<Form1> window;

    void open(const QByteArray &confIni = QByteArray(), const QString &programFolder = QString())
    {
        folder = std::make_unique<QTemporaryDir>();
        if (!confIni.isNull()) {
            QFile f(folder->filePath(QStringLiteral("conf.ini")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(confIni);
        }
        window = std::make_unique<Form1>(programFolder.isEmpty() ? folder->path() : programFolder);
        window->show();
    }
    void paste(const QString &text)
    {
        window->Text2->setPlainText(text);
        QApplication::processEvents();
    }
    void checkStoresWithinCapacity()
    {
        QVERIFY(window->t1Store().count >= 0 && window->t1Store().count <= kStoreCapacity);
        QVERIFY(window->t2Store().count >= 0 && window->t2Store().count <= kStoreCapacity);
        QVERIFY(window->HScroll1->maximum() <= kStoreCapacity);
        QVERIFY(window->MSChart1->bars()->data()->size() <= kStoreCapacity);
    }

private slots:
    void cleanup() { window.reset(); }

    void tenMegabytesOfLog()
    {
        open();
        loggen::Options o;
        o.t1Frames = 20000;
        o.t2Frames = 20000;
        o.lineEnd = "\n";
        const QString log = QString::fromLatin1(loggen::generateLog(o));
        QVERIFY(log.size() > 5'000'000);
        paste(log + log);
        checkStoresWithinCapacity();
        QCOMPARE(window->t1Store().count, kStoreCapacity);
        QVERIFY(window->Label3->text().contains(QStringLiteral("39000 more were ignored")));
    }

    void fiveThousandFramesOfEachKind()
    {
        open();
        // Each frame's uptime word counts up, so the kept ones can be told apart.
        QString log;
        for (int i = 1; i <= 5000; ++i) {
            QString t1 = kT1;
            t1.replace(
                2, 4,
                QStringLiteral("%1%2").arg(i & 0xFF, 2, 16, QLatin1Char('0')).arg(i >> 8, 2, 16, QLatin1Char('0')));
            log += t1 + QLatin1Char('\n') + kT2 + QLatin1Char('\n');
        }
        paste(log);
        checkStoresWithinCapacity();
        QCOMPARE(window->t1Store().records[1000].Values[0], 1000.0 / 1440);
        QCOMPARE(window->HScroll1->maximum(), 1000);
        QCOMPARE(window->Label3->text(),
                 QStringLiteral("Only the first 1000 T1 frames are kept; 4000 more were ignored. "
                                "Only the first 1000 T2 frames are kept; 4000 more were ignored"));
        window->HScroll1->setValue(1000);
        QCOMPARE(window->Label2->text(), QStringLiteral("1000/1000"));
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
        QCOMPARE(window->t1Store().count, 0);
        QVERIFY(window->currentFrameTime().size() <= FrameTimeText::kCapacity);
        window->Text2->textCursor().insertText(QStringLiteral("x")); // and a keystroke after it
        QApplication::processEvents();
        checkStoresWithinCapacity();
    }

    void damagedFrames_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("t1");
        QTest::addColumn<double>("xCellsCurrent");
        QTest::newRow("tabs between pairs") << QStringLiteral("T1\t") + kT1.mid(2) << 0 << 0.0;
        QTest::newRow("G in a byte") << QStringLiteral("T10000G1") + kT1.mid(8) << 1 << 0.0;
        QTest::newRow("G after a digit") << QStringLiteral("T100001G") + kT1.mid(8) << 1 << 0.3052503;
        QTest::newRow("lower case") << QStringLiteral("t10000ab00") + kT1.mid(10) << 1 << 171 * 0.3052503;
    }
    void damagedFrames()
    {
        QFETCH(QString, line);
        QFETCH(int, t1);
        QFETCH(double, xCellsCurrent);
        open();
        paste(line);
        QCOMPARE(window->t1Store().count, t1);
        if (t1)
            QCOMPARE(window->t1Store().records[1].Values[1], xCellsCurrent);
    }

    void hostileConfIni_data()
    {
        QTest::addColumn<QByteArray>("conf");
        QTest::addColumn<bool>("button");
        std::mt19937 rng(5);
        QByteArray binary(65536, '\0');
        for (char &c : binary)
            c = static_cast<char>(rng());
        QTest::newRow("binary") << binary << true;
        QTest::newRow("1 MB line, then a key") << QByteArray(1 << 20, '=') + "\nSCREENSHOT=NO\n" << false;
        QTest::newRow("huge: ignored") << QByteArray(5 << 20, '#') + "\nSCREENSHOT=NO\n" << true;
    }
    void hostileConfIni()
    {
        QFETCH(QByteArray, conf);
        QFETCH(bool, button);
        open(conf);
        QCOMPARE(window->Command1->isVisible(), button);
    }

    void csvTargetThatCannotBeWritten()
    {
        // Even root cannot create files in /proc.
        open(QByteArray(), QStringLiteral("/proc"));
        paste(kT1);
        window->WriteCSVFile->trigger();
        QVERIFY2(
            window->Label3->text().startsWith(QStringLiteral("/proc/tovrik_Telemetry_T1.csv could not be written: ")),
            qPrintable(window->Label3->text()));
        QCOMPARE(window->t1Store().count, 1); // the store and the view stay as they were
        QVERIFY(!window->Text1[1]->text().isEmpty());
    }
};

QTEST_MAIN(HostileTest)
#include "hostile_test.moc"
