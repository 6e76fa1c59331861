// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "parser.h"
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
    void numberTexts_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("localeName");
        QTest::addColumn<QString>("twoDecimals");
        QTest::addColumn<QString>("general");
        QTest::newRow("zero") << 0.0 << "en_US"
                              << "0.00"
                              << "0";
        QTest::newRow("rounded up") << 12.346 << "en_US"
                                    << "12.35"
                                    << "12.346";
        QTest::newRow("decimal comma") << 12.346 << "de_DE"
                                       << "12,35"
                                       << "12,346";
        QTest::newRow("no grouping") << 1234567.5 << "de_DE"
                                     << "1234567,50"
                                     << "1234567,5";
        QTest::newRow("negative") << -89.55859230769232 << "en_US"
                                  << "-89.56"
                                  << "-89.5585923076923";
        QTest::newRow("exponent") << 1.5e-7 << "de_DE"
                                  << "0,00"
                                  << "1,5E-07";
    }
    void numberTexts()
    {
        QFETCH(double, value);
        QFETCH(QString, localeName);
        QFETCH(QString, twoDecimals);
        QFETCH(QString, general);
        const QLocale locale(localeName);
        QCOMPARE(twoDecimalsText(value, locale), twoDecimals);
        QCOMPARE(generalText(value, locale), general);
    }

    void unixSeconds()
    {
        QCOMPARE(UnixSecondsToDate(1406040704)->toString(Qt::ISODate), QStringLiteral("2014-07-22T14:51:44Z"));
        QCOMPARE(UnixSecondsToDate(0)->toString(Qt::ISODate), QStringLiteral("1970-01-01T00:00:00Z"));
        QVERIFY(!UnixSecondsToDate(1e18));
        QVERIFY(!UnixSecondsToDate(-62135596801.0 - 86400.0 * 366 * 100)); // before the year 100
    }

    void dateTimeTextsKeepSecondsAndDropMidnight()
    {
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QString t = dateTimeText(*UnixSecondsToDate(1406040704), us);
        QVERIFY2(t.contains(QStringLiteral("2:51:44")), qPrintable(t));
        QCOMPARE(dateTimeText(*UnixSecondsToDate(0), us), us.toString(QDate(1970, 1, 1), QLocale::ShortFormat));
        // The grid shows a negative count like its magnitude.
        const FieldInfo &timestamp = FieldCatalogue[32];
        QCOMPARE(fieldText(timestamp, -1406040704.0, us), t);
    }

    void labelSpacing_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("step");
        QTest::newRow("1") << 1 << 1;
        QTest::newRow("20") << 20 << 1;
        QTest::newRow("21") << 21 << 2;
        QTest::newRow("100") << 100 << 5;
        QTest::newRow("101") << 101 << 5;
        QTest::newRow("110 half to even") << 110 << 6;
        QTest::newRow("130 half to even") << 130 << 6;
        QTest::newRow("150 half to even") << 150 << 8;
        QTest::newRow("1000") << 1000 << 50;
    }
    void labelSpacing()
    {
        QFETCH(int, records);
        QFETCH(int, step);
        QCOMPARE(labelStep(records), step);
    }

    void rowLabelsComeFromEachRecordsOwnTime()
    {
        QCOMPARE(rowLabel(FrameTimeText(), 7), QStringLiteral("7"));
        QCOMPARE(rowLabel(FrameTimeText("10:15"), 7), QStringLiteral("10:15"));
        QCOMPARE(rowLabel(FrameTimeText("2014-07-22 10:15:30.000 UTC"), 7), QStringLiteral("10:15"));
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
    }

    void barReadouts_data()
    {
        QTest::addColumn<int>("record");
        QTest::addColumn<QString>("time");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("localeName");
        QTest::addColumn<QString>("readout");
        QTest::newRow("no time") << 7 << "" << 12.5 << "en_US"
                                 << "Record 7: 12.5";
        QTest::newRow("clock, with its sign") << 3 << "10:15" << -12.0 << "en_US"
                                              << "Record 3 (10:15): -12";
        QTest::newRow("UTC, decimal comma") << 12 << "2014-07-22 10:15:30.000 UTC" << 91.57509 << "de_DE"
                                            << "Record 12 (10:15): 91,57509";
        QTest::newRow("15 digits") << 1000 << "" << 1.0 / 3 << "en_US"
                                   << "Record 1000: 0.333333333333333";
    }
    void barReadouts()
    {
        QFETCH(int, record);
        QFETCH(QString, time);
        QFETCH(double, value);
        QFETCH(QString, localeName);
        QFETCH(QString, readout);
        QCOMPARE(barReadout(record, FrameTimeText(time.toStdString()), value, QLocale(localeName)), readout);
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
            QCOMPARE(chart.readout(r), barReadout(r, store->records[r].FrameTime, r * 0.25 - 100, QLocale::system()));
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

    void recordTextsShowOnlyRecordsOfTheCurrentLog()
    {
        auto t1 = std::make_unique<RecordStore>();
        auto t2 = std::make_unique<RecordStore>();
        FrameTimeText time;
        const std::string frame = "T1" + std::string(128, '0');
        RunParseCycle(frame + "\n" + frame + "\n" + frame, time, *t1, *t2);
        RunParseCycle(frame, time, *t1, *t2);
        const QLocale c = QLocale::c();
        const RecordTexts here = recordTexts(*t1, *t2, 1, c);
        QCOMPARE(here.values[1], QStringLiteral("0.00"));
        QCOMPARE(here.values[31], QStringLiteral("deployed"));
        QCOMPARE(here.values[34], QString()); // no T2 record at this position
        const RecordTexts gone = recordTexts(*t1, *t2, 2, c);
        for (const QString &v : gone.values)
            QVERIFY(v.isEmpty());
        QVERIFY(gone.frameTime.isEmpty());
    }
};

QTEST_MAIN(ViewTextTest)
#include "view_test.moc"
