// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "recordview.h"
#include "trendchart.h"

#include <QHelpEvent>
#include <QTest>
#include <QToolTip>

#include <memory>

using namespace halcyra;

class ViewTextTest : public QObject {
    Q_OBJECT
private slots:
    void timestampsKeepSecondsAndDropMidnight()
    {
        QCOMPARE(UnixSecondsToDate(1406040704)->toString(Qt::ISODate), QStringLiteral("2014-07-22T14:51:44Z"));
        QVERIFY(!UnixSecondsToDate(1e18));
        QVERIFY(!UnixSecondsToDate(-62135596801.0 - 86400.0 * 366 * 100)); // before the year 100
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QString t = dateTimeText(*UnixSecondsToDate(1406040704), us);
        QVERIFY2(t.contains(QStringLiteral("2:51:44")), qPrintable(t));
        QCOMPARE(dateTimeText(*UnixSecondsToDate(0), us), us.toString(QDate(1970, 1, 1), QLocale::ShortFormat));
        // The grid shows a negative count like its magnitude.
        QCOMPARE(fieldText(FieldCatalogue[32], -1406040704.0, us), t);
    }

    void chartDataOfAStore()
    {
        auto store = std::make_unique<RecordStore>();
        for (int i = 1; i <= 130; ++i) {
            TelemetryRecord *r = store->append(FrameTimeText(i % 4 == 1 ? "" : "10:15"));
            r->Values[34] = -i;
        }
        const ChartData d = chartData(*store, 34);
        QCOMPARE(d.keys.size(), 130);
        QCOMPARE(d.values.front(), -1.0); // plotted with its sign
        QCOMPARE(d.tickKeys.size(), 22);  // every 6th of 130
        QCOMPARE(d.tickLabels[0], QStringLiteral("1"));
        QCOMPARE(d.tickLabels[1], QStringLiteral("10:15"));
        // About twenty labels; above 100 records the step's half rounds to even.
        for (const auto &[records, step] : {std::pair(20, 1), {21, 2}, {101, 5}, {110, 6}, {130, 6}, {150, 8}})
            QCOMPARE(labelStep(records), step);
    }

    void numberTextsAndBarReadouts()
    {
        const QLocale en(QLocale::English), de(QLocale::German);
        QCOMPARE(twoDecimalsText(1234567.5, de), QStringLiteral("1234567,50")); // the locale's comma, no grouping
        QCOMPARE(generalText(1.5e-7, de), QStringLiteral("1,5E-07"));
        // The value to the decimals of its field's resolution: mA of 0.31 mA steps, seconds.
        QCOMPARE(barReadout(7, FrameTimeText(), 1, 12.5, en), QStringLiteral("Record 7: 12.5"));
        QCOMPARE(barReadout(3, FrameTimeText("10:15"), 34, -12.0, en), QStringLiteral("Record 3 (10:15): -12"));
        QCOMPARE(barReadout(12, FrameTimeText("2014-07-22 10:15:30.000 UTC"), 1, 91.57509, de),
                 QStringLiteral("Record 12 (10:15): 91,6"));
    }

    void hoveringABarNamesIt_data()
    {
        QTest::addColumn<int>("records");
        QTest::newRow("3 wide bars") << 3;
        QTest::newRow("1000 bars narrower than a pixel") << 1000;
    }
    void hoveringABarNamesIt()
    {
        QFETCH(int, records);
        auto store = std::make_unique<RecordStore>();
        for (int i = 1; i <= records; ++i)
            store->append(FrameTimeText(i % 2 ? "10:15" : ""))->Values[1] = i * 0.25 - 100;
        TrendChart chart;
        chart.resize(680, 300);
        chart.show();
        chart.showData(chartData(*store, 1));
        chart.replot();
        const QCPRange valueRange = chart.yAxis->range();
        const int middle = chart.axisRect()->rect().center().y();
        const auto at = [&](double key, int y) { return QPointF(chart.xAxis->coordToPixel(key), y); };

        for (int r : {1, 2, records / 2 + 1, records}) {
            QCOMPARE(chart.barAt(at(r, middle)), r);
            QCOMPARE(chart.readout(r),
                     barReadout(r, store->records[r].FrameTime, 1, r * 0.25 - 100, QLocale::system()));
        }
        QCOMPARE(chart.barAt(at(0.5, middle) - QPointF(3, 0)), 0);           // left of the first bar
        QCOMPARE(chart.barAt(at(records + 0.5, middle) + QPointF(3, 0)), 0); // right of the last
        QCOMPARE(chart.barAt(at(1, chart.axisRect()->rect().top() - 5)), 0); // above the plot
        if (records == 3)
            QCOMPARE(chart.barAt(at(1.5, middle)), 0); // between two bars

        const QPoint pos = at(2, middle).toPoint();
        QHelpEvent help(QEvent::ToolTip, pos, chart.mapToGlobal(pos));
        QApplication::sendEvent(&chart, &help);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), chart.readout(2));
        QCOMPARE(chart.yAxis->range(), valueRange); // hovering leaves the scaling alone
        QToolTip::hideText();
    }
};

QTEST_MAIN(ViewTextTest)
#include "view_test.moc"
