// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Times what a user feels in the window, in three sizes of log:
// - a pass of 1000 T1 and 1000 T2 frames (283 KB): the paste, each keystroke
//   (re-parse, grid, chart, repaint), a chart rebuild, one frame arriving in
//   a followed log file (read, append, re-parse, repaint);
// - 11.3 MB pasted: the paste and each keystroke after it;
// - a followed log of 50.9 MB, a station's week: opening it, one frame
//   arriving, and the peak memory from the opening on;
// then input nobody should paste. Run offscreen:
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
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextCursor>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
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

double timeOnce(const std::function<void()> &fn)
{
    return timeRuns(1, [&](int) { fn(); }).front();
}

double statusMiB(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0)
            return static_cast<double>(std::stol(line.substr(std::string_view(field).size()))) / 1024.0;
    }
    return -1;
}

// The peak resident memory counts from here on: freed memory goes back to the
// system first, so that an earlier phase does not show in the next one.
void resetPeakRss()
{
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}

bool appendToFile(QFile &file, const std::string &text)
{
    const bool ok = file.open(QIODevice::Append) &&
                    file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
    file.close();
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const bool week = argc > 1 && std::string_view(argv[1]) == "--week";
    halcyra::loggen::Options o;
    o.t1Frames = 1000;
    o.t2Frames = 1000;
    o.lineEnd = "\n";
    const QString log = QString::fromLatin1(halcyra::loggen::generateLog(o));

    halcyra::Form1 window;
    const halcyra::Form1Probe ui(window);
    window.show();
    QApplication::processEvents();
    QPlainTextEdit *box = ui.Text2();

    // Each paste starts from an empty box, as a user's would.
    const auto pastes = [&](int runs, const QString &text) {
        std::vector<double> ms;
        for (int i = 0; i < runs; ++i) {
            box->clear();
            QApplication::processEvents();
            ms.push_back(timeOnce([&] { box->setPlainText(text); }));
        }
        return stats(ms);
    };
    // Typing at the end of the log: a digit, then its deletion.
    const auto keystrokes = [&](int runs) {
        QTextCursor cursor(box->document());
        cursor.movePosition(QTextCursor::End);
        return stats(timeRuns(runs, [&](int i) {
            if (i % 2)
                cursor.deletePreviousChar();
            else
                cursor.insertText(QStringLiteral("7"));
        }));
    };

    // The same log as a file that the receiving software writes to, followed
    // from its last record. Only the poll's look at the file is timed here,
    // run by hand: the writing is the receiver's, not ours.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pass.log"));
    QFile logFile(path);
    const std::string t1Line = "[10:20:30R] " + halcyra::loggen::makeT1Frame({}) + "\n";
    const std::string t2Line = "10:21 " + halcyra::loggen::makeT2Frame({}) + "\n";
    const auto writeLog = [&](const std::string &text) { return logFile.remove(), appendToFile(logFile, text); };
    const auto followedFrames = [&](double *openMs) {
        if (ui.logFollower()->isFollowing())
            ui.MnuFollowLog()->trigger();
        *openMs = timeOnce([&] { window.Open_Log(path); });
        ui.HScroll1()->setValue(ui.HScroll1()->maximum());
        ui.logFollower()->setNotifications(false);
        ui.MnuFollowLog()->trigger();
        QApplication::processEvents();
        const int before = box->document()->characterCount();
        int appended = 0;
        std::vector<double> ms;
        for (int i = 0; i < 30; ++i) {
            const std::string &line = i % 2 ? t2Line : t1Line;
            if (!appendToFile(logFile, line))
                return Stats{-1, -1};
            appended += static_cast<int>(line.size());
            ms.push_back(timeOnce([&] { ui.logFollower()->check(); }));
        }
        ui.MnuFollowLog()->trigger(); // off again
        if (box->document()->characterCount() != before + appended) {
            std::fprintf(stderr, "the followed frames did not all arrive\n");
            return Stats{-1, -1};
        }
        return stats(ms);
    };
    if (week) {
        std::string text;
        halcyra::loggen::Options days = o;
        days.t1Frames = days.t2Frames = 20000;
        const std::string fiveMB = halcyra::loggen::generateLog(days);
        for (int i = 0; i < 9; ++i)
            text += fiveMB;
        const double size = static_cast<double>(text.size()) / 1e6;
        if (!writeLog(text))
            return 1;
        std::string().swap(text); // frees it, unlike an assignment
        resetPeakRss();
        const double rssBefore = statusMiB("VmRSS:");
        double openMs = 0;
        const Stats frame = followedFrames(&openMs);
        std::printf("open of a %.1f MB log:       %7.2f ms\n", size, openMs);
        std::printf("followed frame in it:        median %7.2f ms  p95 %7.2f ms\n", frame.median, frame.p95);
        std::printf("memory (RSS) with it:        peak %.1f MB, then %.1f MB (%.1f MB before the opening)\n",
                    statusMiB("VmHWM:"), statusMiB("VmRSS:"), rssBefore);
        return frame.median < 0 ? 1 : 0;
    }

    const Stats paste = pastes(15, log);
    const Stats key = keystrokes(60);
    const Stats chart = stats(timeRuns(40, [&](int i) { ui.Option1_Click(1 + i % 30); }));
    double openPass = 0;
    if (!writeLog(log.toStdString()))
        return 1;
    const Stats follow = followedFrames(&openPass);
    const int t1Count = ui.t1Store().count;
    const int t2Count = ui.t2Store().count;
    const double rssFull = statusMiB("VmHWM:"); // both stores full, the ordinary worst case

    halcyra::loggen::Options many = o;
    many.t1Frames = many.t2Frames = 20000;
    QString tenMB = QString::fromStdString(halcyra::loggen::generateLog(many)).repeated(2);
    const double tenMBSize = static_cast<double>(tenMB.size()) / 1e6;
    const Stats pasteTenMB = pastes(5, tenMB);
    const Stats keyTenMB = keystrokes(30);

    // Input nobody should paste must still not freeze the window for long.
    many.t1Frames = many.t2Frames = 5000;
    const Stats pasteMany = pastes(1, QString::fromStdString(halcyra::loggen::generateLog(many)));
    const Stats pasteLongLine = pastes(1, QString(1 << 20, QLatin1Char('F')));

    std::printf("pass log: %lld characters, %d T1 and %d T2 frames\n", static_cast<long long>(log.size()), t1Count,
                t2Count);
    std::printf("paste of the whole log:      median %7.2f ms  p95 %7.2f ms\n", paste.median, paste.p95);
    std::printf("keystroke (parse..repaint):  median %7.2f ms  p95 %7.2f ms\n", key.median, key.p95);
    std::printf("chart of 1000 bars (click):  median %7.2f ms  p95 %7.2f ms\n", chart.median, chart.p95);
    std::printf("followed frame (read..draw): median %7.2f ms  p95 %7.2f ms\n", follow.median, follow.p95);
    std::printf("peak memory (RSS), full log: %7.1f MB\n", rssFull);
    std::printf("paste of %.1f MB of log:     median %7.2f ms  p95 %7.2f ms\n", tenMBSize, pasteTenMB.median,
                pasteTenMB.p95);
    std::printf("keystroke after it:          median %7.2f ms  p95 %7.2f ms\n", keyTenMB.median, keyTenMB.p95);
    std::printf("paste of 5000 + 5000 frames: %7.2f ms\n", pasteMany.median);
    std::printf("paste of one 1 MB line:      %7.2f ms\n", pasteLongLine.median);
    std::fflush(stdout);
    if (follow.median < 0)
        return 1;
    // The week-long log in a process of its own, so that its peak memory is
    // not that of the pastes before it.
    return QProcess::execute(QCoreApplication::applicationFilePath(), {QStringLiteral("--week")});
}
