// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "station.h"

#include "archive.h"
#include "archivewriter.h"
#include "importer.h"
#include "journal.h"
#include "location.h"
#include "logtail.h"
#include "passreport.h"
#include "servicemanager.h"
#include "stationconfig.h"
#include "stationlimits.h"
#include "stationwatch.h"
#include "tncstation.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>

#include <poll.h>
#include <unistd.h>

namespace halcyra {

namespace {

enum ExitStatus { kStopped = 0, kFailure = 1, kConfigError = 2 };

// Without notification (a network share) a look per second finds what the
// receiving software wrote.
constexpr std::int64_t kPollMs = 1000;
// A last line without its line end, unchanged this long, is looked at for a
// frame: some receivers end a line only when they begin the next one.
constexpr std::int64_t kOpenLineMs = 400;
constexpr std::int64_t kProgressMs = 500;

LogTail::Policy stationPolicy()
{
    LogTail::Policy policy;
    policy.waitWhileMissing = true;
    return policy;
}

class Station : public TailSink {
public:
    Station(const StationSettings &settings, ServiceManager &service);
    int run();

    void restarted() override;
    void appended(std::string_view bytes) override;
    bool wantsMore() override { return !writer_.full(); }

private:
    void say(journal::Priority priority, const std::string &text) const;
    void started();
    bool checkLog(std::int64_t now);
    void followEvents(LogTail::State state);
    void peekOpenLine(std::int64_t now);
    void take(const archive::LoggedFrame &frame);
    void checkLimits(const archive::LoggedFrame &frame);
    void tellLimit(const LimitChange &change, const std::optional<UtcMillis> &received, const FrameTimeText &frameTime);
    void tellEndStates();
    void written(const WrittenBatch &batch);
    void tellProgress(std::int64_t now, bool done);
    void readyWhenCaughtUp(std::int64_t now);
    void endPassIfQuiet(std::int64_t now);
    int waitTime(std::int64_t now) const;
    int stop(int signal);

    StationSettings settings_;
    ServiceManager &service_;
    archive::ImportOptions readOptions_;
    LogTail tail_;
    archive::FrameReader reader_;
    ArchiveWriter writer_;
    PassReport pass_;
    StationWatch watch_;
    StationLimits limits_;
    std::int64_t now_ = 0;
    std::int64_t nextPoll_ = 0;
    std::int64_t nextKeepAlive_ = 0;
    std::int64_t nextProgress_ = 0;
    std::optional<std::int64_t> openLineAt_; // when to look at the open last line
    std::int64_t bytesRead_ = 0;             // of the current file
    std::uint64_t t1Total_ = 0;
    std::uint64_t t2Total_ = 0;
    LogTail::State lastState_ = LogTail::State::Following;
    bool caughtUp_ = false;
    bool ready_ = false;
    bool progress_ = false;
};

Station::Station(const StationSettings &settings, ServiceManager &service)
    : settings_(settings), service_(service), readOptions_{.origin = {settings.log, settings.station},
                                                           .fallbackDay = settings.fallbackDay,
                                                           .now = utcNow},
      tail_(settings.log, stationPolicy()), reader_(readOptions_),
      writer_([location = settings.archive] { return archive::openArchive(location); }, readOptions_.origin),
      watch_(settings.log), limits_(settings), progress_(::isatty(STDERR_FILENO) == 1)
{
    writer_.onWritten([this](const WrittenBatch &batch) { written(batch); });
    writer_.onEvent([this](const WriterEvent &event) {
        say(event.kind == WriterEvent::Kind::Recovered ? journal::Priority::Notice : journal::Priority::Warning,
            event.text);
    });
}

void Station::say(journal::Priority priority, const std::string &text) const
{
    journal::write(priority, archive::concealPasswords(text));
}

void Station::restarted()
{
    if (bytesRead_ > 0 && lastState_ == LogTail::State::Following)
        say(journal::Priority::Notice, settings_.log + " was replaced or truncated: reading it from its start");
    bytesRead_ = 0;
    reader_ = archive::FrameReader(readOptions_);
}

void Station::appended(std::string_view bytes)
{
    bytesRead_ += static_cast<std::int64_t>(bytes.size());
    reader_.feed(bytes, [this](const archive::LoggedFrame &frame) { take(frame); });
    openLineAt_ = now_ + kOpenLineMs;
}

void Station::take(const archive::LoggedFrame &frame)
{
    writer_.push(frame, now_);
    limits_.check(frame, ready_);
}

void Station::started()
{
    say(journal::Priority::Info,
        "following " + settings_.log + " into the archive " + archive::displayLocation(settings_.archive) +
            (settings_.station.empty() ? ", no station name" : ", station " + settings_.station) +
            (settings_.limitsPath ? ", limits from " + *settings_.limitsPath : ", no limits file"));
    tail_.startFromBeginning();
    // An archive that cannot be used is said now, not at the first frame;
    // one that is only unreachable is tried again when frames wait.
    writer_.open(now_);
    service_.status("reading " + settings_.log);
}

// False when following ended.
bool Station::checkLog(std::int64_t now)
{
    const LogTail::State state = tail_.check(now, *this);
    if (state == LogTail::State::Stopped) {
        say(journal::Priority::Error, tail_.stopReason());
        return false;
    }
    if (state != lastState_)
        followEvents(state);
    lastState_ = state;
    if (state == LogTail::State::Following)
        watch_.watchFile();
    if (!tail_.behind())
        caughtUp_ = true;
    return true;
}

void Station::followEvents(LogTail::State state)
{
    if (state == LogTail::State::Waiting)
        say(journal::Priority::Warning, settings_.log + " does not exist: waiting for it");
    else
        say(journal::Priority::Notice, settings_.log + " is there: following it");
}

void Station::peekOpenLine(std::int64_t now)
{
    if (!openLineAt_ || now < *openLineAt_)
        return;
    openLineAt_.reset();
    // Not checked against limits: the frame is read again when its line
    // ends, and would count twice towards persistence.
    reader_.peekUnfinished([this](const archive::LoggedFrame &frame) { writer_.push(frame, now_); });
}

void Station::written(const WrittenBatch &batch)
{
    pass_.add(batch, now_);
    t1Total_ += batch.counts.t1.added;
    t2Total_ += batch.counts.t2.added;
    if (ready_)
        service_.status("following " + settings_.log + ": " + std::to_string(t1Total_) + " T1 and " +
                        std::to_string(t2Total_) + " T2 frames archived since start");
}

void Station::tellProgress(std::int64_t now, bool done)
{
    if (!progress_ || (!done && now < nextProgress_))
        return;
    nextProgress_ = now + kProgressMs;
    std::fprintf(stderr, "\rreading %s: %lld MB%s", settings_.log.c_str(),
                 static_cast<long long>(tail_.position() >> 20), done ? "\n" : "");
    if (done)
        progress_ = false; // only the reading at start takes long
}

// Ready once the log as it stood at start is archived, or the archive is
// being tried again: either way the station does what it is there for.
void Station::readyWhenCaughtUp(std::int64_t now)
{
    if (ready_)
        return;
    tellProgress(now, false);
    if (!caughtUp_ || (writer_.waiting() > 0 && !writer_.failing()))
        return;
    ready_ = true;
    tellProgress(now, true);
    say(journal::Priority::Info,
        pass_.empty() ? "log as it stood at start: no frames" : pass_.take("log as it stood at start"));
    service_.ready("following " + settings_.log);
    limits_.tellHeld();
}

void Station::endPassIfQuiet(std::int64_t now)
{
    if (const auto end = pass_.endsAt(); end && now >= *end && writer_.waiting() == 0)
        say(journal::Priority::Info, pass_.take("pass"));
}

int Station::waitTime(std::int64_t now) const
{
    if (tail_.behind() && !writer_.full())
        return 0;
    std::int64_t at = nextPoll_;
    for (const std::optional<std::int64_t> &due : {writer_.dueAt(), openLineAt_, pass_.endsAt()}) {
        if (due)
            at = std::min(at, *due);
    }
    if (service_.keepAliveInterval())
        at = std::min(at, nextKeepAlive_);
    if (progress_ && !ready_)
        at = std::min(at, nextProgress_);
    return static_cast<int>(std::clamp<std::int64_t>(at - now, 0, kPollMs));
}

int Station::stop(int signal)
{
    service_.stopping();
    say(journal::Priority::Info, std::string("ending on ") + endingSignalName(signal));
    // What the receiver wrote before the signal is archived now, not at the
    // next start: a receiver stopped with the station leaves nothing behind.
    now_ = monotonicMs();
    if (lastState_ == LogTail::State::Following)
        tail_.check(now_, *this);
    writer_.write(now_, true);
    if (writer_.waiting() > 0)
        say(journal::Priority::Warning, std::to_string(writer_.waiting()) +
                                            " frames could not be written; they stay in " + settings_.log +
                                            " and are archived at the next start");
    if (!pass_.empty())
        say(journal::Priority::Info, pass_.take("pass so far"));
    return kStopped;
}

int Station::run()
{
    now_ = monotonicMs();
    started();
    for (;;) {
        pollfd fds[] = {{watch_.signalFd(), POLLIN, 0}, {watch_.notifyFd(), POLLIN, 0}};
        const int n = ::poll(fds, watch_.notifyFd() >= 0 ? 2 : 1, waitTime(now_));
        now_ = monotonicMs();
        if (n < 0 && errno != EINTR)
            return kFailure;
        if (const int signal = watch_.takeSignal())
            return stop(signal);
        bool look = watch_.takeChanges() || tail_.behind() || now_ >= nextPoll_;
        if (now_ >= nextPoll_) {
            nextPoll_ = now_ + kPollMs;
            watch_.watchFolder();
        }
        if (look && !checkLog(now_))
            return kFailure;
        writer_.write(now_);
        limits_.reap();
        peekOpenLine(now_);
        readyWhenCaughtUp(now_);
        endPassIfQuiet(now_);
        if (service_.keepAliveInterval() && now_ >= nextKeepAlive_) {
            service_.keepAlive();
            nextKeepAlive_ = now_ + service_.keepAliveInterval()->count();
        }
    }
}

} // namespace

int runStation(const DecodeOptions &options)
{
    StationSettings settings;
    if (const std::optional<std::string> error = stationSettings(options, settings)) {
        journal::write(journal::Priority::Error, *error);
        return kConfigError;
    }
    ServiceManager service;
    try {
        if (settings.tnc)
            return runTncStation(settings, service);
        Station station(settings, service);
        return station.run();
    } catch (const archive::ArchiveError &error) {
        journal::write(journal::Priority::Error, error.what());
        return kFailure;
    } catch (const std::system_error &error) {
        journal::write(journal::Priority::Error, error.what());
        return kFailure;
    }
}

} // namespace halcyra
