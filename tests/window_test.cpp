// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "aboutwindow.h"
#include "fields.h"
#include "loggen.h"
#include "mainwindow.h"
#include "parsenotice.h"
#include "trendchart.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace halcyra;

namespace {

const QString kT1 = QStringLiteral("T1") + QString(128, QLatin1Char('0'));
const QByteArray kT1Line = "T1" + QByteArray(128, '0');
const QByteArray kT2Line = "T2" + QByteArray(96, '0');

// A T2 frame whose clock drift reads `drift` seconds.
QString t2WithDrift(qint32 drift)
{
    QString f = QStringLiteral("T2") + QString(96, QLatin1Char('0'));
    const auto v = static_cast<quint32>(drift);
    QString le;
    for (int i = 0; i < 4; ++i)
        le += QStringLiteral("%1").arg((v >> (8 * i)) & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
    f.replace(18, 8, le);
    return f;
}

QString repeat(const QString &line, int n)
{
    QStringList lines;
    for (int i = 0; i < n; ++i)
        lines << line;
    return lines.join(QLatin1Char('\n'));
}

QColor base(const QLineEdit *box)
{
    return box->palette().color(QPalette::Base);
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<Form1> window;

    void open(const QByteArray &confIni = QByteArray())
    {
        folder = std::make_unique<QTemporaryDir>();
        if (!confIni.isNull()) {
            QFile f(folder->filePath(QStringLiteral("conf.ini")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(confIni);
        }
        window = std::make_unique<Form1>(folder->path());
        window->show();
    }
    void paste(const QString &log)
    {
        window->Text2->setPlainText(log);
        QApplication::processEvents();
    }

private slots:
    void cleanup()
    {
        window.reset();
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<Form2 *>(w))
                delete w;
    }

    void startsIdleWithTheCatalogueInTheGrid()
    {
        open();
        QCOMPARE(window->windowTitle(), QStringLiteral("Halcyra Telemetry Decoder [QZ7ZQ]"));
        QCOMPARE(window->LastFieldIndex, 44);
        for (const FieldInfo &f : FieldCatalogue) {
            QCOMPARE(window->Option1[f.index]->text(), QString::fromLatin1(f.caption.data(), f.caption.size()));
            QCOMPARE(window->Label1[f.index]->text(), QString::fromLatin1(f.unit.data(), f.unit.size()));
            QVERIFY(window->Text1[f.index]->text().isEmpty());
            QVERIFY(!window->Option1[f.index]->isChecked());
        }
        QCOMPARE(window->Option1[35]->text(), QStringLiteral("Uptime"));
        QCOMPARE(window->Text1[1]->accessibleName(), QStringLiteral("X Cells Curr [mA]"));
        QCOMPARE(window->Frame8->title(), QStringLiteral("Graph"));
        QCOMPARE(window->Text3->text(), QStringLiteral("Text3"));
        QVERIFY(window->Command1->isVisible());
        QCOMPARE(window->imagePath(), QDir::toNativeSeparators(folder->path()) + QDir::separator());
        // The capture surface is hidden and covers the whole client area, also after a resize.
        QVERIFY(!window->Picture2->isVisible());
        QCOMPARE(window->Picture2->geometry(), window->centralWidget()->rect());
        window->resize(window->width() + 300, window->height() + 40);
        QApplication::processEvents();
        QCOMPARE(window->Picture2->geometry(), window->centralWidget()->rect());
        QCOMPARE(window->Text1[32]->width(), 1815 / 15);
    }

    void confIniSetsTheScreenshotButtonAndFolder_data()
    {
        QTest::addColumn<QByteArray>("conf");
        QTest::addColumn<bool>("button");
        QTest::addColumn<QString>("imagePath");
        QTest::newRow("lower case yes") << QByteArray("screenshot = yes\r\n") << true << QString();
        QTest::newRow("no") << QByteArray("SCREENSHOT=NO\n") << false << QString();
        QTest::newRow("last wins") << QByteArray("SCREENSHOT=YES\r\nSCREENSHOT=maybe\r\n") << false << QString();
        QTest::newRow("path keeps its case")
            << QByteArray("# shots\nimage_path = /home/Ham/Shots/ \n") << true << QStringLiteral("/home/Ham/Shots/");
        QTest::newRow("binary") << QByteArray("\0\xff\x01=\n\r", 6) << true << QString();
    }
    void confIniSetsTheScreenshotButtonAndFolder()
    {
        QFETCH(QByteArray, conf);
        QFETCH(bool, button);
        QFETCH(QString, imagePath);
        open(conf);
        QCOMPARE(window->Command1->isVisible(), button);
        QCOMPARE(window->imagePath(),
                 imagePath.isEmpty() ? QDir::toNativeSeparators(folder->path()) + QDir::separator() : imagePath);
    }

    void pastedLogFillsGridLabelsAndChart()
    {
        open();
        loggen::Options o;
        o.t1Frames = 17;
        o.t2Frames = 12;
        paste(QString::fromLatin1(loggen::generateLog(o)));
        QCOMPARE(window->t1Store().count, 17);
        QCOMPARE(window->Label2->text(), QStringLiteral("#1 / 17"));
        QCOMPARE(window->HScroll1->maximum(), 17);
        QVERIFY(window->HScroll1->isEnabled());
        QVERIFY(window->Option1[1]->isChecked());
        QCOMPARE(base(window->Text1[1]), QColor(255, 255, 192));
        QCOMPARE(base(window->Text1[2]), QPalette().color(QPalette::Base));
        QCOMPARE(window->Frame8->title(), QStringLiteral("X Cells Curr  [ mA ]"));
        QCOMPARE(window->MSChart1->bars()->data()->size(), 17);
        QVERIFY(!window->Text1[1]->text().isEmpty());
        QCOMPARE(window->Text1[31]->text(), QStringLiteral("deployed"));
        QCOMPARE(window->Text3->text(), QStringLiteral("130"));
        QCOMPARE(window->Text4->text().size(), 10);
        QCOMPARE(window->Text6->text().size(), 12);

        // Paging: the label takes its short form and the grid follows.
        window->HScroll1->setValue(5);
        QCOMPARE(window->Label2->text(), QStringLiteral("5/17"));
        const double x = window->t1Store().records[5].Values[1];
        QCOMPARE(window->Text1[1]->text(),
                 QLocale::system().toString(x, 'f', 2).remove(QLocale::system().groupSeparator()));
        // Beyond the T2 count: T2 boxes and the frame time are empty, T1 values remain.
        window->HScroll1->setValue(15);
        QVERIFY(window->Text1[37]->text().isEmpty());
        QVERIFY(window->Label4->text().isEmpty());
        QVERIFY(!window->Text1[1]->text().isEmpty());
    }

    void noStaleRecordsAfterAShorterLog()
    {
        open();
        paste(repeat(kT1, 5));
        window->HScroll1->setValue(4);
        paste(repeat(kT1, 2)); // the maximum drops below the position
        QCOMPARE(window->HScroll1->value(), 2);
        window->HScroll1->setValue(1);
        window->Show_Data(4); // a position the new log does not have
        for (QLineEdit *box : window->Text1)
            QVERIFY(box->text().isEmpty());
    }

    void t2OnlyLogsCanBePagedAndDriftKeepsItsSign()
    {
        open();
        paste(repeat(t2WithDrift(-12), 3) + QLatin1Char('\n') + t2WithDrift(40000));
        QCOMPARE(window->HScroll1->maximum(), 4);
        QCOMPARE(window->Label2->text(), QStringLiteral("#1 / 4"));
        QCOMPARE(window->Text1[34]->text(), QStringLiteral("-12"));
        QVERIFY(window->Text1[31]->text().isEmpty()); // no T1 record here
        window->HScroll1->setValue(4);
        QCOMPARE(window->Text1[34]->text(), QStringLiteral("40000"));
        // Field 1's store is empty: the chart is empty, and names the field.
        QCOMPARE(window->MSChart1->bars()->data()->size(), 0);
        QCOMPARE(window->Frame8->title(), QStringLiteral("X Cells Curr  [ mA ]"));
    }

    void choosingAFieldMovesTheHighlightAndRedrawsTheChart()
    {
        open();
        paste(kT1 + QLatin1Char('\n') + kT1);
        QTest::mouseClick(window->Option1[27], Qt::LeftButton, {}, QPoint(4, window->Option1[27]->height() / 2));
        QVERIFY(window->Option1[27]->isChecked());
        QVERIFY(!window->Option1[1]->isChecked());
        QCOMPARE(base(window->Text1[27]), QColor(255, 255, 192));
        QCOMPARE(base(window->Text1[1]), QPalette().color(QPalette::Base));
        QCOMPARE(window->Frame8->title(), QStringLiteral("EMS Temp  [ C ]"));
        QCOMPARE(window->MSChart1->bars()->data()->at(0)->value, 159.18872);

        window->Option1_Click(32); // no T2 records
        QCOMPARE(window->Frame8->title(), QStringLiteral("Timestamp  [  ]"));
        QCOMPARE(window->MSChart1->bars()->data()->size(), 0);
    }

    void moreThanAThousandFramesAreReported()
    {
        open();
        paste(repeat(kT1, 1037));
        QCOMPARE(window->t1Store().count, 1000);
        QCOMPARE(window->Label3->text(),
                 QStringLiteral("Only the first 1000 T1 frames are kept; 37 more were ignored"));
        paste(kT1);
        QVERIFY(window->Label3->text().isEmpty());
    }

    void wrongLengthNotices_data()
    {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<bool>("arriving");
        QTest::addColumn<QString>("notice");
        const QByteArray shortT1 = kT1Line.left(129);
        const QByteArray longT2 = kT2Line + "0";
        QTest::newRow("clean") << kT1Line + "\r\n" + kT1Line << false << QString();
        QTest::newRow("one") << shortT1 + "\n" + kT1Line << false
                             << "1 T1 line has the wrong length and was not decoded";
        QTest::newRow("both kinds") << shortT1 + "\n" + shortT1 + " \n" + longT2 + "\n" + kT2Line << false
                                    << "2 T1 lines have the wrong length and were not decoded. "
                                       "1 T2 line has the wrong length and was not decoded";
        QTest::newRow("unfinished last line of a pasted log")
            << kT1Line + "\n" + shortT1 << false << "1 T1 line has the wrong length and was not decoded";
        // A followed file whose last line is still being written.
        QTest::newRow("last line still arriving") << kT1Line + "\n" + shortT1 << true << QString();
        QTest::newRow("only the last line is arriving")
            << longT2 + "\r\n" + kT2Line.left(40) << true << "1 T2 line has the wrong length and was not decoded";
        QTest::newRow("finished last line")
            << kT1Line + "\n" + shortT1 + "\r" << true << "1 T1 line has the wrong length and was not decoded";
        QTest::newRow("with the capacity notice") << (kT2Line + "\r\n").repeated(1002) + shortT1 << false
                                                  << "Only the first 1000 T2 frames are kept; 2 more were ignored. "
                                                     "1 T1 line has the wrong length and was not decoded";
        QTest::newRow("one frame too many")
            << (kT1Line + "\n").repeated(1001) << false << "Only the first 1000 T1 frames are kept; 1 more was ignored";
    }
    void wrongLengthNotices()
    {
        QFETCH(QByteArray, log);
        QFETCH(bool, arriving);
        QFETCH(QString, notice);
        auto t1 = std::make_unique<RecordStore>();
        auto t2 = std::make_unique<RecordStore>();
        FrameTimeText time;
        const std::string_view text(log.constData(), static_cast<std::size_t>(log.size()));
        const CycleResult r = RunParseCycle(text, time, *t1, *t2);
        QCOMPARE(parseNotice(r, text, arriving), notice);
    }

    void theNoticeLeavesExportMessagesAlone()
    {
        open();
        const QString wrong = kT1.left(100);
        paste(kT1 + QLatin1Char('\n') + wrong);
        QCOMPARE(window->Label3->text(), QStringLiteral("1 T1 line has the wrong length and was not decoded"));
        window->WriteCSVFile->trigger();
        const QString written = window->Label3->text();
        QVERIFY(written.endsWith(QStringLiteral(" has been written")));
        // The same notice again, then none: the export's message stays.
        window->Text2->appendPlainText(QStringLiteral("# comment"));
        QCOMPARE(window->Label3->text(), written);
        paste(kT1);
        QCOMPARE(window->Label3->text(), written);
        // A new notice shows, and is withdrawn once the log is mended.
        paste(wrong + QLatin1Char('\n') + wrong);
        QCOMPARE(window->Label3->text(), QStringLiteral("2 T1 lines have the wrong length and were not decoded"));
        paste(kT1);
        QVERIFY(window->Label3->text().isEmpty());
    }

    void clearEmptiesEverything()
    {
        open();
        paste(repeat(kT1, 3));
        QTest::mouseClick(window->Command2, Qt::LeftButton);
        QVERIFY(window->Text2->toPlainText().isEmpty());
        QCOMPARE(window->t1Store().count, 0);
        QCOMPARE(window->Label2->text(), QStringLiteral("#1 / 0"));
        QCOMPARE(window->MSChart1->bars()->data()->size(), 0);
        for (QLineEdit *box : window->Text1)
            QVERIFY(box->text().isEmpty());
    }

    void infoShowsOneAboutWindow()
    {
        open();
        window->MnuInfo->trigger();
        Form2 *about = window->aboutWindow();
        QVERIFY(about && about->isVisible());
        QCOMPARE(about->windowTitle(), QStringLiteral("Info"));
        QCOMPARE(about->Label2->text(), QStringLiteral("Version 0.2 - 22 July 2014"));
        QVERIFY(!about->parentWidget());
        window->MnuInfo->trigger();
        QCOMPARE(window->aboutWindow(), about);

        about->close(); // deletes itself; the next Info makes a new one
        QApplication::processEvents();
        QTRY_VERIFY(!window->aboutWindow());
        window->MnuInfo->trigger();
        QVERIFY(window->aboutWindow() && window->aboutWindow()->isVisible());
    }

    void exitKeepsAnOpenAboutWindowAndTheProgramRunning()
    {
        // The program ends when no window is visible any more.
        const auto visibleWindows = [] {
            int n = 0;
            for (QWidget *w : QApplication::topLevelWidgets())
                n += w->isVisible() && w->isWindow() && w->testAttribute(Qt::WA_QuitOnClose);
            return n;
        };
        open();
        window->MnuInfo->trigger();
        QPointer<Form2> about = window->aboutWindow();
        window->MnuExit->trigger();
        QApplication::processEvents();
        QVERIFY(!window->isVisible());
        QVERIFY(about && about->isVisible());
        QCOMPARE(visibleWindows(), 1);
        about->close();
        QApplication::processEvents();
        QCOMPARE(visibleWindows(), 0);
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false); // the test decides when to stop
    WindowTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "window_test.moc"
