// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "aboutwindow.h"
#include "loggen.h"
#include "parsenotice.h"
#include "statusline.h"
#include "trendchart.h"
#include "windowfixture.h"

#include <QAction>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QtEndian>

#include <algorithm>
#include <random>

using namespace halcyra;
using namespace halcyra::test;

namespace {

const QColor kHighlight(255, 255, 192);

// A T2 frame whose clock drift reads `drift` seconds.
QByteArray t2WithDrift(qint32 drift)
{
    QByteArray le(4, '\0');
    qToLittleEndian(drift, le.data());
    return QByteArray(kT2).replace(18, 8, le.toHex());
}

QColor base(const QLineEdit *box)
{
    return box->palette().color(QPalette::Base);
}

} // namespace

class WindowTest : public QObject, WindowFixture {
    Q_OBJECT

private slots:
    void cleanup()
    {
        window.reset();
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<Form2 *>(w))
                delete w;
    }

    void confIniSetsTheScreenshotButtonAndFolder()
    {
        open("SCREENSHOT=NO\n");
        QVERIFY(!ui().Command1()->isVisible());
        QCOMPARE(ui().imagePath(), QDir::toNativeSeparators(folder->path()) + QDir::separator());
        open("# shots\nimage_path = /home/Ham/Shots/ \n");
        QVERIFY(ui().Command1()->isVisible());
        QCOMPARE(ui().imagePath(), QStringLiteral("/home/Ham/Shots/"));
    }

    void pastedLogFillsGridLabelsAndChart()
    {
        open();
        loggen::Options o;
        o.t1Frames = 17;
        o.t2Frames = 12;
        paste(QString::fromStdString(loggen::generateLog(o)));
        QCOMPARE(ui().Label2()->text(), QStringLiteral("#1 / 17"));
        QCOMPARE(base(ui().Text1(1)), kHighlight); // the chart starts on the first field
        QCOMPARE(ui().MSChart1()->bars()->data()->size(), 17);
        QCOMPARE(ui().Text1(31)->text(), QStringLiteral("deployed"));

        // Paging: the label takes its short form and the grid follows.
        ui().HScroll1()->setValue(5);
        QCOMPARE(ui().Label2()->text(), QStringLiteral("5/17"));
        const double x = ui().t1Store().records[5].Values[1];
        QCOMPARE(ui().Text1(1)->text(),
                 QLocale::system().toString(x, 'f', 2).remove(QLocale::system().groupSeparator()));
        // Beyond the T2 count: T2 boxes and the frame time are empty, T1 values remain.
        ui().HScroll1()->setValue(15);
        QVERIFY(ui().Text1(37)->text().isEmpty());
        QVERIFY(ui().Label4()->text().isEmpty());
        QVERIFY(!ui().Text1(1)->text().isEmpty());
    }

    void t2OnlyLogsCanBePagedAndDriftKeepsItsSign()
    {
        open();
        paste((t2WithDrift(-12) + '\n').repeated(3) + t2WithDrift(40000).replace(30, 10, "abcdefabcd"));
        QCOMPARE(ui().Text4()->text(), QStringLiteral("ABCDEFABCD")); // the raw texts of the last frame
        QCOMPARE(ui().Label2()->text(), QStringLiteral("#1 / 4"));
        QCOMPARE(ui().Text1(34)->text(), QStringLiteral("-12"));
        QVERIFY(ui().Text1(31)->text().isEmpty()); // no T1 record here
        ui().HScroll1()->setValue(4);
        QCOMPARE(ui().Text1(34)->text(), QStringLiteral("40000"));
    }

    void choosingAFieldMovesTheHighlightAndRedrawsTheChart()
    {
        open();
        paste(kT1 + '\n' + kT1);
        QTest::mouseClick(ui().Option1(27), Qt::LeftButton, {}, QPoint(4, ui().Option1(27)->height() / 2));
        QVERIFY(ui().Option1(27)->isChecked());
        QCOMPARE(base(ui().Text1(27)), kHighlight);
        QCOMPARE(base(ui().Text1(1)), QPalette().color(QPalette::Base));
        QCOMPARE(ui().Frame8()->title(), QStringLiteral("EMS Temp  [ C ]"));
        QCOMPARE(ui().MSChart1()->bars()->data()->at(0)->value, 159.18872);

        ui().Option1_Click(32); // a T2 field, and no T2 records
        QCOMPARE(ui().MSChart1()->bars()->data()->size(), 0);
    }

    void parseNotices()
    {
        const auto notice = [](const QByteArray &log, bool lastLineArriving) {
            auto t1 = std::make_unique<RecordStore>();
            auto t2 = std::make_unique<RecordStore>();
            FrameTimeText time;
            const std::string_view text(log.constData(), static_cast<std::size_t>(log.size()));
            return parseNotice(RunParseCycle(text, time, *t1, *t2), text, lastLineArriving);
        };
        const QByteArray shortT1 = kT1.left(129);
        const QByteArray longT2 = kT2 + "0";
        // Capacity first, then the wrong lengths; each kind counted on its own.
        QCOMPARE(notice((kT2 + "\r\n").repeated(1002) + longT2 + "\n" + shortT1 + "\n" + shortT1, false),
                 QStringLiteral("Only the first 1000 T2 frames are kept; 2 more were ignored. "
                                "2 T1 lines have the wrong length and were not decoded. "
                                "1 T2 line has the wrong length and was not decoded"));
        QCOMPARE(notice((kT1 + "\n").repeated(1001), false),
                 QStringLiteral("Only the first 1000 T1 frames are kept; 1 more was ignored"));
        // In a followed file the last line may still be being written: it counts once it has ended.
        QCOMPARE(notice(kT1 + "\n" + shortT1, true), QString());
        QCOMPARE(notice(longT2 + "\r\n" + kT2.left(40), true),
                 QStringLiteral("1 T2 line has the wrong length and was not decoded"));
        QCOMPARE(notice(kT1 + "\n" + shortT1 + "\r", true),
                 QStringLiteral("1 T1 line has the wrong length and was not decoded"));
    }

    void theNoticeLeavesExportMessagesAlone()
    {
        open();
        const QByteArray wrong = kT1.left(100);
        paste(kT1 + '\n' + wrong);
        QCOMPARE(ui().Label3()->text(), QStringLiteral("1 T1 line has the wrong length and was not decoded"));
        ui().WriteCSVFile()->trigger();
        const QString written = ui().Label3()->text();
        QVERIFY(written.endsWith(QStringLiteral(" has been written")));
        // The same notice again, then none: the export's message stays.
        ui().Text2()->appendText("\n# comment");
        QCOMPARE(ui().Label3()->text(), written);
        paste(kT1);
        QCOMPARE(ui().Label3()->text(), written);
        // A new notice shows, and is withdrawn once the log is mended.
        paste(wrong + '\n' + wrong);
        QCOMPARE(ui().Label3()->text(), QStringLiteral("2 T1 lines have the wrong length and were not decoded"));
        paste(kT1);
        QVERIFY(ui().Label3()->text().isEmpty());
    }

    // Each source replaces and withdraws its own notice only, told apart by
    // source, not by text.
    void theStatusLineKeysNoticesByTheirSource()
    {
        using S = StatusLine::Source;
        enum Op { Set, Hold, Clear };
        const struct {
            Op op;
            S source;
            const char *text;
            const char *shown;
        } steps[] = {
            {Hold, S::Parse, "P", "P"},
            {Set, S::Export, "E", "E"},
            {Hold, S::Parse, "P", "E"}, // a condition that still holds is not shown again
            {Clear, S::Parse, "", "E"},
            {Hold, S::Parse, "P", "P"}, // it held no more in between
            {Set, S::Export, "E", "E"}, // written again, said again
            {Hold, S::Parse, "", "E"},
            {Set, S::Archive, "A", "A"},
            {Hold, S::ArchiveFollowed, "A", "A"}, // the same words from another source
            {Clear, S::Archive, "", "A"},
            {Clear, S::ArchiveFollowed, "", ""},
            {Set, S::Follow, "F", "F"},
            {Clear, S::Export, "", "F"},
            {Clear, S::Follow, "", ""},
        };
        QLabel label;
        StatusLine status(&label);
        for (const auto &step : steps) {
            const QString text = QLatin1String(step.text);
            if (step.op == Set)
                status.set(step.source, text);
            else if (step.op == Hold)
                status.hold(step.source, text);
            else
                status.clear(step.source);
            QCOMPARE(label.text(), QLatin1String(step.shown));
            QCOMPARE(label.toolTip(), label.text());
        }
    }

    void aShorterOrClearedLogLeavesNothingBehind()
    {
        open();
        paste((kT1 + '\n').repeated(5));
        paste(kT1 + '\n' + kT1);
        ui().Show_Data(4); // a position the new log does not have
        for (int i = 0; i < kFieldCount; ++i)
            QVERIFY(ui().Text1(i)->text().isEmpty());
        QTest::mouseClick(ui().Command2(), Qt::LeftButton);
        QVERIFY(ui().Text2()->toPlainText().isEmpty());
        QCOMPARE(ui().Label2()->text(), QStringLiteral("#1 / 0"));
        QCOMPARE(ui().MSChart1()->bars()->data()->size(), 0);
        QVERIFY(ui().Text1(1)->text().isEmpty());
    }

    // Input nobody should paste: nothing may crash, write beyond the stores, or
    // leave the user without word of what happened.
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
        QCOMPARE(ui().t1Store().records[1000].Values[0], 1000.0 / 1440); // the first thousand are kept
        QCOMPARE(ui().MSChart1()->bars()->data()->size(), 1000);
        QCOMPARE(ui().HScroll1()->maximum(), 1000);
        QCOMPARE(ui().Label3()->text(),
                 QStringLiteral("Only the first 1000 T1 frames are kept; 44000 more were ignored. "
                                "Only the first 1000 T2 frames are kept; 44000 more were ignored"));
        ui().HScroll1()->setValue(1000);
        QCOMPARE(ui().Label2()->text(), QStringLiteral("1000/1000"));
    }

    void binaryGarbageAndLongLines()
    {
        std::mt19937 rng(3);
        QString binary(1 << 20, QChar());
        for (QChar &c : binary)
            c = QChar(static_cast<char16_t>(rng() % 256)); // NULs, control bytes, Latin-1
        const QString texts[] = {
            binary, QString(1 << 20, QLatin1Char('T')),                      // one 1 MB line
            QStringLiteral("10:15 T1") + QString(1 << 20, QLatin1Char('F')), // a frame as a 1 MB line
            // characters beyond Latin-1
            QStringLiteral("10:15 T1") + QString(100, QChar(0x4E00)) +
                QStringLiteral("\n\U0001F6F0 2014-07-22 UTC R] T2"),
            QString(100000, QLatin1Char('\r')), // only line ends
        };
        for (const QString &text : texts) {
            open();
            paste(text);
            QCOMPARE(ui().t1Store().count, 0);
            ui().Text2()->insertText(QStringLiteral("x")); // and a keystroke after it
            QApplication::processEvents();
            QCOMPARE(ui().t1Store().count, 0);
        }
    }

    void infoShowsOneAboutWindowThatOutlivesExit()
    {
        // The program ends when no window that may end it is visible any more.
        const auto visibleWindows = [] {
            const QWidgetList all = QApplication::topLevelWidgets();
            return std::count_if(all.begin(), all.end(),
                                 [](QWidget *w) { return w->isVisible() && w->testAttribute(Qt::WA_QuitOnClose); });
        };
        open();
        ui().MnuInfo()->trigger();
        QPointer<Form2> about = ui().aboutWindow();
        QVERIFY(about && about->isVisible());
        QVERIFY(!about->parentWidget());
        ui().MnuInfo()->trigger();
        QCOMPARE(ui().aboutWindow(), about.data());

        about->close(); // deletes itself; the next Info makes a new one
        QTRY_VERIFY(!ui().aboutWindow());
        ui().MnuInfo()->trigger();
        about = ui().aboutWindow();
        QVERIFY(about && about->isVisible());

        ui().MnuExit()->trigger();
        QApplication::processEvents();
        QVERIFY(!window->isVisible());
        QCOMPARE(visibleWindows(), 1); // the About window
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
