// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Times what a user feels in the window with a full log of 1000 T1 and 1000
// T2 frames: the paste, each keystroke (re-parse, grid, chart, repaint), a
// chart rebuild, one frame arriving in a followed log file (read, append,
// re-parse, repaint), and the memory the window holds. Run offscreen:
//   QT_QPA_PLATFORM=offscreen build/testing/bench/window_bench

#include "form1probe.h"
#include "logfile.h"
#include "loggen.h"
#include "trendchart.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextCursor>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Stats {
    double median, p95;
};

Stats stats(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 95 / 100)]};
}

template <typename Fn> std::vector<double> timeRuns(int runs, Fn &&fn)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        fn(i);
        QApplication::processEvents();
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    return ms;
}

long peakRssKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    halcyra::loggen::Options o;
    o.t1Frames = 1000;
    o.t2Frames = 1000;
    o.lineEnd = "\n";
    const QString log = QString::fromLatin1(halcyra::loggen::generateLog(o));

    halcyra::Form1 window;
    const halcyra::Form1Probe ui(window);
    window.show();
    QApplication::processEvents();

    std::vector<double> pasteMs;
    for (int i = 0; i < 15; ++i) {
        ui.Text2()->clear(); // each paste starts from an empty box, as a user's would
        QApplication::processEvents();
        const std::vector<double> one = timeRuns(1, [&](int) { ui.Text2()->setPlainText(log); });
        pasteMs.push_back(one.front());
    }
    const Stats paste = stats(pasteMs);
    ui.Text2()->setPlainText(log);
    QApplication::processEvents();

    QTextCursor cursor(ui.Text2()->document());
    cursor.movePosition(QTextCursor::End);
    const Stats key = stats(timeRuns(60, [&](int i) {
        if (i % 2)
            cursor.deletePreviousChar();
        else
            cursor.insertText(QStringLiteral("7"));
    }));

    const Stats chart = stats(timeRuns(40, [&](int i) { ui.Option1_Click(1 + i % 30); }));

    // The same log as a file that the receiving software writes to, followed
    // from its last record. Only the poll's look at the file is timed here,
    // run by hand: the writing is the receiver's, not ours.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pass.log"));
    QFile logFile(path);
    if (!logFile.open(QIODevice::WriteOnly) || logFile.write(log.toLatin1()) != log.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    logFile.close();
    if (!window.Open_Log(path))
        return 1;
    ui.HScroll1()->setValue(ui.HScroll1()->maximum());
    ui.logFollower()->setNotifications(false);
    ui.MnuFollowLog()->trigger();
    QApplication::processEvents();
    const std::string t1Line = "[10:20:30R] " + halcyra::loggen::makeT1Frame({}) + "\n";
    const std::string t2Line = "10:21 " + halcyra::loggen::makeT2Frame({}) + "\n";
    const int before = ui.Text2()->document()->characterCount();
    int appended = 0;
    std::vector<double> followMs;
    for (int i = 0; i < 60; ++i) {
        const std::string &line = i % 2 ? t2Line : t1Line;
        if (!logFile.open(QIODevice::Append) ||
            logFile.write(line.data(), static_cast<qint64>(line.size())) != static_cast<qint64>(line.size()))
            return 1;
        logFile.close();
        appended += static_cast<int>(line.size());
        followMs.push_back(timeRuns(1, [&](int) { ui.logFollower()->check(); }).front());
    }
    const Stats follow = stats(followMs);
    if (ui.Text2()->document()->characterCount() != before + appended) {
        std::fprintf(stderr, "the followed frames did not all arrive\n");
        return 1;
    }
    ui.MnuFollowLog()->trigger(); // off again for the pastes below

    const long rssFull = peakRssKiB(); // both stores full, the ordinary worst case

    // Input nobody should paste must still not freeze the window for long.
    const auto once = [&](const QString &text) {
        return timeRuns(1, [&](int) { ui.Text2()->setPlainText(text); }).front();
    };
    halcyra::loggen::Options many = o;
    many.t1Frames = many.t2Frames = 5000;
    const double pasteMany = once(QString::fromLatin1(halcyra::loggen::generateLog(many)));
    many.t1Frames = many.t2Frames = 20000;
    const QString tenMB = QString::fromLatin1(halcyra::loggen::generateLog(many)).repeated(2);
    const double pasteTenMB = once(tenMB);
    const double keyTenMB = timeRuns(1, [&](int) { cursor.insertText(QStringLiteral("7")); }).front();
    const double pasteLongLine = once(QString(1 << 20, QLatin1Char('F')));
    ui.Text2()->setPlainText(log);
    QApplication::processEvents();

    std::printf("log: %lld characters, %d T1 and %d T2 frames\n", static_cast<long long>(log.size()),
                ui.t1Store().count, ui.t2Store().count);
    std::printf("paste of the whole log:      median %6.2f ms  p95 %6.2f ms\n", paste.median, paste.p95);
    std::printf("keystroke (parse..repaint):  median %6.2f ms  p95 %6.2f ms\n", key.median, key.p95);
    std::printf("chart of 1000 bars (click):  median %6.2f ms  p95 %6.2f ms\n", chart.median, chart.p95);
    std::printf("followed frame (read..draw): median %6.2f ms  p95 %6.2f ms\n", follow.median, follow.p95);
    std::printf("paste of 5000 + 5000 frames: %6.2f ms\n", pasteMany);
    std::printf("paste of %.1f MB of log:     %6.2f ms, a keystroke after it %.2f ms\n",
                static_cast<double>(tenMB.size()) / 1e6, pasteTenMB, keyTenMB);
    std::printf("paste of one 1 MB line:      %6.2f ms\n", pasteLongLine);
    std::printf("peak memory (RSS), full log: %.1f MB (after the hostile pastes %.1f MB)\n",
                static_cast<double>(rssFull) / 1024.0, static_cast<double>(peakRssKiB()) / 1024.0);
    return 0;
}
