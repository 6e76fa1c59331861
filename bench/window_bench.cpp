// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Times what a user feels in the window, in three sizes of log:
// - a pass of 1000 T1 and 1000 T2 frames (283 KB): the paste, each keystroke
//   (re-parse, grid, chart, repaint), a chart rebuild, one frame arriving in
//   a followed log file (read, append, re-parse, repaint);
// - 11.3 MB pasted (set as the text and with Ctrl+V): the paste and each
//   keystroke after it;
// - a followed log of 50.7 MB, a station's week, in a process of its own:
//   opening it, one frame arriving, and the peak memory from the opening on;
// then input nobody should paste. Run offscreen:
//   QT_QPA_PLATFORM=offscreen build/testing/bench/window_bench [--limits]
// With --limits, every one of the 45 fields has limits that the pass's
// values cross (yellow above the median, red above the upper quartile), so
// that the boxes change state as records change.

#include "fields.h"
#include "form1probe.h"
#include "limittext.h"
#include "logbox.h"
#include "logfile.h"
#include "loggen.h"
#include "numtext.h"
#include "parser.h"
#include "trendchart.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>

#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// Wall-clock time is what the user waits; the process's CPU time tells the
// window's own work from the waits of a machine shared with other programs.
struct Time {
    double wallMs, cpuMs;
};

struct Stats {
    double median, p95, cpuMedian;
};

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

Stats stats(const std::vector<Time> &times)
{
    std::vector<double> wall, cpu;
    for (const Time &t : times) {
        wall.push_back(t.wallMs);
        cpu.push_back(t.cpuMs);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], wall[std::min(wall.size() - 1, wall.size() * 95 / 100)], cpu[cpu.size() / 2]};
}

// Each run takes its events, the repaint included, before the clock stops.
template <typename Fn> std::vector<Time> timeRuns(int runs, Fn &&fn)
{
    std::vector<Time> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        const double cpu = cpuMs();
        t.start();
        fn(i);
        QApplication::processEvents();
        times.push_back({static_cast<double>(t.nsecsElapsed()) / 1e6, cpuMs() - cpu});
    }
    return times;
}

Time timeOnce(const std::function<void()> &fn)
{
    return timeRuns(1, [&](int) { fn(); }).front();
}

void print(const char *what, const Stats &s)
{
    std::printf("%-34s median %8.2f ms  p95 %8.2f ms  (CPU median %8.2f ms)\n", what, s.median, s.p95, s.cpuMedian);
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

// Limits for all fields from the values of `log`.
std::string limitsFor(const std::string &log)
{
    auto t1 = std::make_unique<halcyra::RecordStore>();
    auto t2 = std::make_unique<halcyra::RecordStore>();
    halcyra::FrameTimeText time;
    halcyra::RunParseCycle(log, time, *t1, *t2);
    std::string text;
    for (int i = 0; i < halcyra::kFieldCount; ++i) {
        const halcyra::RecordStore &store = halcyra::storeOf(i) == halcyra::FrameKind::T1 ? *t1 : *t2;
        std::vector<double> values;
        for (int r = 1; r <= store.count; ++r)
            values.push_back(store.records[static_cast<std::size_t>(r)].Values[static_cast<std::size_t>(i)]);
        std::sort(values.begin(), values.end());
        const double median = values[values.size() / 2];
        const double quartile = std::max(values[values.size() * 3 / 4], median);
        text += "[" + halcyra::limitsFieldName(i) + "]\nyellow_high = " + halcyra::generalText(median) +
                "\nred_high = " + halcyra::generalText(quartile) + "\n";
    }
    return text;
}

// The window under measurement, with its log box and the followed file.
class WindowBench {
public:
    WindowBench() : ui_(window_), box_(ui_.Text2()), path_(dir_.filePath(QStringLiteral("pass.log"))), logFile_(path_)
    {
        window_.show();
        QApplication::processEvents();
    }
    const halcyra::Form1Probe &ui() const { return ui_; }

    // Each paste starts from an empty box, as a user's would: set as the
    // box's text, or through the clipboard (Ctrl+V).
    Stats pastes(int runs, const QString &text, bool clipboard = false)
    {
        if (clipboard)
            QGuiApplication::clipboard()->setText(text);
        std::vector<Time> ms;
        for (int i = 0; i < runs; ++i) {
            box_->clear();
            QApplication::processEvents();
            ms.push_back(timeOnce([&] { clipboard ? box_->paste() : box_->setPlainText(text); }));
        }
        return stats(ms);
    }

    // Typing at the end of the log: a digit, then its deletion.
    Stats keystrokes(int runs)
    {
        box_->setFocus();
        box_->setCursorPosition(static_cast<int>(box_->buffer().size()));
        return stats(timeRuns(runs, [&](int i) {
            QKeyEvent press(QEvent::KeyPress, i % 2 ? Qt::Key_Backspace : Qt::Key_7, Qt::NoModifier,
                            i % 2 ? QString() : QStringLiteral("7"));
            QApplication::sendEvent(box_, &press);
        }));
    }

    Stats chartClicks(int runs)
    {
        return stats(timeRuns(runs, [&](int i) { ui_.Option1_Click(1 + i % 30); }));
    }

    bool writeLog(const std::string &text) { return logFile_.remove(), appendToFile(logFile_, text); }

    // The log as a file that the receiving software writes to, followed from
    // its last record. Only the poll's look at the file is timed, run by
    // hand: the writing is the receiver's, not ours.
    Stats followedFrames(Time *open)
    {
        if (ui_.logFollower()->isFollowing())
            ui_.MnuFollowLog()->trigger();
        *open = timeOnce([&] { window_.Open_Log(path_); });
        ui_.HScroll1()->setValue(ui_.HScroll1()->maximum());
        ui_.logFollower()->setNotifications(false);
        ui_.MnuFollowLog()->trigger();
        QApplication::processEvents();
        const std::size_t before = box_->buffer().size();
        std::size_t appended = 0;
        std::vector<Time> ms;
        for (int i = 0; i < 30; ++i) {
            const std::string &line = i % 2 ? t2Line_ : t1Line_;
            if (!appendToFile(logFile_, line))
                return Stats{-1, -1, -1};
            appended += line.size();
            ms.push_back(timeOnce([&] { ui_.logFollower()->check(); }));
        }
        ui_.MnuFollowLog()->trigger(); // off again
        if (box_->buffer().size() != before + appended) {
            std::fprintf(stderr, "the followed frames did not all arrive\n");
            return Stats{-1, -1, -1};
        }
        return stats(ms);
    }

private:
    halcyra::Form1 window_;
    const halcyra::Form1Probe ui_;
    halcyra::LogBox *box_;
    QTemporaryDir dir_;
    QString path_;
    QFile logFile_;
    const std::string t1Line_ = "[10:20:30R] " + halcyra::loggen::makeT1Frame({}) + "\n";
    const std::string t2Line_ = "10:21 " + halcyra::loggen::makeT2Frame({}) + "\n";
};

// A followed week-long log of 45 MB: its opening, a frame appended, memory.
int measureWeek(WindowBench &bench, const halcyra::loggen::Options &o)
{
    std::string text;
    halcyra::loggen::Options days = o;
    days.t1Frames = days.t2Frames = 20000;
    const std::string fiveMB = halcyra::loggen::generateLog(days);
    for (int i = 0; i < 9; ++i)
        text += fiveMB;
    const double size = static_cast<double>(text.size()) / 1e6;
    if (!bench.writeLog(text))
        return 1;
    std::string().swap(text); // frees it, unlike an assignment
    resetPeakRss();
    const double rssBefore = statusMiB("VmRSS:");
    Time open{};
    const Stats frame = bench.followedFrames(&open);
    std::printf("open of a %.1f MB log: %.0f ms (CPU %.0f ms)\n", size, open.wallMs, open.cpuMs);
    print("one frame appended to it:", frame);
    std::printf("memory (RSS) with it: peak %.1f MB, then %.1f MB (%.1f MB before the opening)\n", statusMiB("VmHWM:"),
                statusMiB("VmRSS:"), rssBefore);
    return frame.median < 0 ? 1 : 0;
}

// Pastes of 10 MB and of what nobody should paste, which must still not
// freeze the window for long.
void measureLargePastes(WindowBench &bench, const halcyra::loggen::Options &o)
{
    halcyra::loggen::Options many = o;
    many.t1Frames = many.t2Frames = 20000;
    const QString tenMB = QString::fromStdString(halcyra::loggen::generateLog(many)).repeated(2);
    std::printf("%.1f MB of log:\n", static_cast<double>(tenMB.size()) / 1e6);
    print("paste into the empty box:", bench.pastes(7, tenMB));
    print("the same with Ctrl+V:", bench.pastes(5, tenMB, true));
    print("keystroke after it:", bench.keystrokes(30));
    many.t1Frames = many.t2Frames = 5000;
    print("paste of 5000 + 5000 frames:", bench.pastes(1, QString::fromStdString(halcyra::loggen::generateLog(many))));
    print("paste of one 1 MB line:", bench.pastes(1, QString(1 << 20, QLatin1Char('F'))));
}

// The pass log of 1000 + 1000 frames: paste, keystrokes, chart, following.
int measurePass(WindowBench &bench, const QString &log, bool limits)
{
    const Stats paste = bench.pastes(15, log);
    const Stats key = bench.keystrokes(60);
    const Stats chart = bench.chartClicks(40);
    Time openPass{};
    if (!bench.writeLog(log.toStdString()))
        return 1;
    const Stats follow = bench.followedFrames(&openPass);
    std::printf("limits: %s\n", limits ? "all 45 fields" : "none");
    std::printf("pass log: %lld characters, %d T1 and %d T2 frames\n", static_cast<long long>(log.size()),
                bench.ui().t1Store().count, bench.ui().t2Store().count);
    print("paste of the whole log:", paste);
    print("keystroke (parse..repaint):", key);
    print("chart of 1000 bars (click):", chart);
    print("followed frame (read..repaint):", follow);
    // Both stores full, the ordinary worst case.
    std::printf("peak memory (RSS), full log: %.1f MB\n", statusMiB("VmHWM:"));
    return follow.median < 0 ? 1 : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const auto given = [&](std::string_view option) {
        return std::any_of(argv + 1, argv + argc, [&](const char *arg) { return option == arg; });
    };
    const bool week = given("--week");
    const bool limits = given("--limits");
    // Followed logs go into the archive whole: into one of the run's own, never
    // the user's, and with the program's own settings, not what the user chose.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    halcyra::loggen::Options o;
    o.t1Frames = 1000;
    o.t2Frames = 1000;
    o.lineEnd = "\n";
    const QString log = QString::fromLatin1(halcyra::loggen::generateLog(o));
    if (limits) {
        QDir().mkpath(home.filePath(QStringLiteral("config/halcyra")));
        std::ofstream(QFile::encodeName(home.filePath(QStringLiteral("config/halcyra/limits.toml"))).toStdString())
            << limitsFor(log.toStdString());
    }

    WindowBench bench;
    if (limits && bench.ui().Option1(1)->toolTip().isEmpty()) {
        std::fprintf(stderr, "the limits file was not taken: %s\n", qPrintable(bench.ui().Label3()->text()));
        return 1;
    }
    if (week)
        return measureWeek(bench, o);
    const int status = measurePass(bench, log, limits);
    measureLargePastes(bench, o);
    std::fflush(stdout);
    if (status != 0)
        return status;
    // The week-long log in a process of its own, so that its peak memory is
    // not that of the pastes before it.
    QStringList weekArgs{QStringLiteral("--week")};
    if (limits)
        weekArgs << QStringLiteral("--limits");
    return QProcess::execute(QCoreApplication::applicationFilePath(), weekArgs);
}
