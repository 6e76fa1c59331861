// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// The History window's figures on an archive of 500 000 T1 records:
//   QT_QPA_PLATFORM=offscreen history_bench /tmp/history.sqlite
// creates the archive from a generated log when it is not there yet, then
// times opening the window with one field on show, redrawing on zoom and pan,
// and a frame that another connection archives until the window shows it;
// the memory is the process's resident size before the window opened and
// with two fields on show.

#include "archive.h"
#include "historyplot.h"
#include "historywindow.h"
#include "importer.h"
#include "loggen.h"
#include "settings.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>

using namespace halcyra;
using namespace halcyra::history;

namespace {

constexpr int kBatt1 = 17;
constexpr int kXCellsCurr = 1;

long statusKiB(const char *key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with(key))
            return std::stol(line.substr(std::string(key).size()));
    return -1;
}

// A receiver's UTC line for `t`.
std::string utcLine(UtcMillis t)
{
    std::string text(formatUtc(t)->data(), kUtcTextLength);
    text[10] = ' ';
    text.pop_back();
    return text + " UTC\n";
}

// The time the process has computed, in milliseconds: on a busy machine the
// wall clock also counts the other programs' turns.
double cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec)) /
           1e3;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double percentile95(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() * 95 / 100];
}

void makeArchive(const std::string &path)
{
    std::fprintf(stderr, "writing %s: 500000 T1 frames...\n", path.c_str());
    loggen::Options options;
    options.t1Frames = 500'000;
    options.t2Frames = 0;
    const std::string log = loggen::generateLog(options);
    auto store = archive::openArchive(path);
    archive::importText(*store, log, {});
}

// Redraws after each change of the x range, as a wheel step or a drag does.
// Until the window's reader has answered every question: it reads in a thread of its own.
void settle(const HistoryWindow &window)
{
    do
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    while (window.askingArchive());
}

std::vector<double> redraws(HistoryWindow &window, int steps, double factor, double shift)
{
    HistoryPlot *plot = window.plot();
    std::vector<double> ms;
    for (int i = 0; i < steps; ++i) {
        QElapsedTimer t;
        t.start();
        const QCPRange r = plot->xAxis->range();
        if (factor != 1)
            plot->xAxis->scaleRange(i % 2 ? 1 / factor : factor, r.center());
        else
            plot->xAxis->moveRange((i % 2 ? -shift : shift) * r.size());
        plot->replot(QCustomPlot::rpImmediateRefresh);
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    return ms;
}

// Opening: the window, one field, its first picture on screen; and the
// archive's query alone.
void measureOpening(const std::string &path, Settings &remembered)
{
    std::vector<double> opening;
    std::vector<double> openingCpu;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        const double cpu = cpuMs();
        auto *window = new HistoryWindow(path, remembered);
        window->resize(1100, 720);
        window->show();
        window->setFieldShown(kBatt1, true);
        settle(*window);
        window->plot()->replot(QCustomPlot::rpImmediateRefresh);
        QApplication::processEvents();
        opening.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        openingCpu.push_back(cpuMs() - cpu);
        delete window;
    }
    std::vector<double> query;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        const Track track = loadTrack(*archive::openArchive(path), kBatt1);
        query.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::printf("open window, Batt1 Volt of %zu records: first %.0f ms, median %.0f ms (%.0f ms of CPU), "
                "of which the archive's query %.0f ms\n",
                static_cast<std::size_t>(archive::openArchive(path)->recordCount(FrameKind::T1)), opening.front(),
                median(opening), median(openingCpu), median(query));
}

void report(const char *what, const std::vector<double> &ms)
{
    std::printf("%-44s median %5.1f ms, p95 %5.1f ms\n", what, median(ms), percentile95(ms));
}

// Zoom and pan over all records and over a day, with one field and two.
void measureRedraws(HistoryWindow &window, long before)
{
    window.choosePreset(Preset::All);
    QApplication::processEvents();
    report("zoom, all records on show", redraws(window, 40, 0.8, 0));
    report("pan, all records on show", redraws(window, 40, 1, 0.1));
    window.setCustomRange({*parseUtcTime("2014-08-01"), *parseUtcTime("2014-08-02")});
    report("zoom, one day on show", redraws(window, 40, 0.8, 0));
    report("pan, one day on show", redraws(window, 40, 1, 0.1));

    window.setFieldShown(kXCellsCurr, true);
    settle(window);
    window.choosePreset(Preset::All);
    QApplication::processEvents();
    report("zoom, two fields, all records on show", redraws(window, 40, 0.8, 0));
    const long withTwo = statusKiB("VmRSS:");
    std::printf("memory: %.1f MB before the window, %.1f MB with two fields of all records on show "
                "(the window's share %.1f MB), peak %.1f MB\n",
                before / 1024.0, withTwo / 1024.0, (withTwo - before) / 1024.0, statusKiB("VmHWM:") / 1024.0);
}

// Frames archived by another connection, as another program would: how soon
// the window shows them, and what its update itself costs.
void measureLive(HistoryWindow &window, const std::string &path)
{
    window.choosePreset(Preset::LastPass);
    auto writer = archive::openArchive(path);
    // Frames right after the newest: the archive stays one of a receiver's log.
    UtcMillis next = 0;
    for (const archive::FieldSample &s : writer->fieldSeries(kBatt1, {}))
        next = std::max(next, s.received.value_or(0));
    std::vector<double> latency;
    std::vector<double> polls;
    // Frames this run has not archived before: the archive keeps each frame once.
    const auto run = static_cast<std::uint16_t>(QDateTime::currentMSecsSinceEpoch() / 1000);
    for (int i = 0; i < 5; ++i) {
        const int shown = window.plot()->graphOf(0)->data()->size();
        std::array<std::uint16_t, 32> words{};
        words[0] = static_cast<std::uint16_t>(40000 + i);
        words[1] = run;
        words[17] = static_cast<std::uint16_t>(6500 + i);
        next += 10'000;
        archive::importText(*writer, utcLine(next) + loggen::makeT1Frame(words) + "\n", {});
        QElapsedTimer t;
        t.start();
        while (window.plot()->graphOf(0)->data()->size() == shown && t.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        latency.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        // The work itself, without the wait for the timer: one more frame, polled at once.
        words[0] = static_cast<std::uint16_t>(41000 + i);
        next += 10'000;
        archive::importText(*writer, utcLine(next) + loggen::makeT1Frame(words) + "\n", {});
        QElapsedTimer p;
        p.start();
        window.pollArchive();
        settle(window);
        polls.push_back(static_cast<double>(p.nsecsElapsed()) / 1e6);
    }
    std::printf("new frame visible after %.0f to %.0f ms (the window asks twice a second); "
                "the update itself median %.1f ms with two fields of all records\n",
                *std::min_element(latency.begin(), latency.end()), *std::max_element(latency.begin(), latency.end()),
                median(polls));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: history_bench ARCHIVE (created with 500000 T1 records when missing)\n", stderr);
        return 2;
    }
    const std::string path = argv[1];
    if (!QFile::exists(QString::fromStdString(path)))
        makeArchive(path);
    QTemporaryDir settings;
    Settings remembered(settings.filePath(QStringLiteral("halcyra.conf")));
    const long before = statusKiB("VmRSS:");
    measureOpening(path, remembered);

    auto *window = new HistoryWindow(path, remembered);
    window->resize(1100, 720);
    window->show();
    window->setFieldShown(kBatt1, true);
    settle(*window);
    measureRedraws(*window, before);
    measureLive(*window, path);
    delete window;
    return 0;
}
