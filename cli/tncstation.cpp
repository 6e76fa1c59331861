// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "tncstation.h"

#include "appendlog.h"
#include "archive.h"
#include "archivewriter.h"
#include "journal.h"
#include "location.h"
#include "passreport.h"
#include "receivetime.h"
#include "servicemanager.h"
#include "stationlimits.h"
#include "stationwatch.h"
#include "tncreader.h"
#include "tncsource.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <memory>
#include <optional>
#include <string>

#include <poll.h>

namespace halcyra {

namespace {

constexpr std::int64_t kPollMs = 1000;

class TncStation {
public:
    TncStation(const StationSettings &settings, ServiceManager &service);
    int run();

private:
    void say(journal::Priority priority, const std::string &text) const;
    bool started();
    void tncEvent(const TncEvent &event);
    void received(std::span<const std::uint8_t> bytes);
    void appendToLog(std::string_view lines);
    void written(const WrittenBatch &batch);
    void tellStatus() const;
    void endPassIfQuiet();
    int waitTime() const;
    int stop(int signal);
    std::string countsText() const;

    StationSettings settings_;
    ServiceManager &service_;
    TncSource source_;
    tnc::TncReader reader_;
    ArchiveWriter writer_;
    PassReport pass_;
    StationWatch watch_;
    StationLimits limits_;
    std::unique_ptr<AppendLog> log_;
    bool logFailing_ = false;
    std::int64_t now_ = 0;
    std::int64_t nextKeepAlive_ = 0;
    std::uint64_t t1Total_ = 0;
    std::uint64_t t2Total_ = 0;
};

TncStation::TncStation(const StationSettings &settings, ServiceManager &service)
    : settings_(settings), service_(service), source_(*settings.tnc), reader_(settings.sourceCall),
      writer_([location = settings.archive] { return archive::openArchive(location); },
              archive::Origin{settings.tnc->text(), settings.station}),
      watch_({}), limits_(settings)
{
    if (!settings.packetLog.empty())
        log_ = std::make_unique<AppendLog>(settings.packetLog);
    writer_.onWritten([this](const WrittenBatch &batch) { written(batch); });
    writer_.onEvent([this](const WriterEvent &event) {
        say(event.kind == WriterEvent::Kind::Recovered ? journal::Priority::Notice : journal::Priority::Warning,
            event.text);
    });
    source_.onEvent([this](const TncEvent &event) { tncEvent(event); });
}

void TncStation::say(journal::Priority priority, const std::string &text) const
{
    journal::write(priority, archive::concealPasswords(text));
}

// False when the packet log cannot be written at all: a station that was
// asked to keep one must not run without it unnoticed.
bool TncStation::started()
{
    if (log_) {
        if (const std::string error = log_->open(); !error.empty()) {
            say(journal::Priority::Error, "cannot write the packet log " + error);
            return false;
        }
    }
    say(journal::Priority::Info,
        "taking the telemetry frames of " + settings_.sourceCall + " from " + settings_.tnc->text() +
            " into the archive " + archive::displayLocation(settings_.archive) +
            (settings_.station.empty() ? ", no station name" : ", station " + settings_.station) +
            (log_ ? ", every frame into " + log_->path() : "") +
            (settings_.limitsPath ? ", limits from " + *settings_.limitsPath : ", no limits file"));
    writer_.open(now_);
    source_.start(now_);
    // Waiting for the TNC is what the station is there for: ready now.
    service_.ready("taking frames from " + settings_.tnc->text());
    return true;
}

void TncStation::tncEvent(const TncEvent &event)
{
    // A frame the old connection cut must not run into the new one's first.
    reader_.reset();
    const bool connected = event.kind == TncEvent::Kind::Connected;
    say(connected ? journal::Priority::Notice : journal::Priority::Warning, event.text);
    tellStatus();
}

void TncStation::received(std::span<const std::uint8_t> bytes)
{
    const UtcMillis arrived = utcNow();
    reader_.feed(
        bytes, arrived,
        [this](const archive::LoggedFrame &frame) {
            writer_.push(frame, now_);
            limits_.check(frame, true);
        },
        [this](std::string_view lines) { appendToLog(lines); });
}

void TncStation::appendToLog(std::string_view lines)
{
    if (!log_)
        return;
    const bool ok = log_->append(lines);
    if (ok == !logFailing_)
        return;
    logFailing_ = !ok;
    if (logFailing_)
        say(journal::Priority::Warning,
            "cannot append to the packet log " + log_->error() + ": the archive still takes the telemetry frames");
    else
        say(journal::Priority::Notice, "the packet log " + log_->path() + " takes frames again");
}

void TncStation::written(const WrittenBatch &batch)
{
    pass_.add(batch, now_);
    t1Total_ += batch.counts.t1.added;
    t2Total_ += batch.counts.t2.added;
    tellStatus();
}

void TncStation::tellStatus() const
{
    service_.status((source_.connected() ? "connected to " : "waiting for ") + settings_.tnc->text() + ": " +
                    std::to_string(t1Total_) + " T1 and " + std::to_string(t2Total_) +
                    " T2 frames archived since start");
}

void TncStation::endPassIfQuiet()
{
    if (const auto end = pass_.endsAt(); end && now_ >= *end && writer_.waiting() == 0)
        say(journal::Priority::Info, pass_.take("pass"));
}

int TncStation::waitTime() const
{
    std::int64_t at = now_ + kPollMs;
    for (const std::optional<std::int64_t> &due : {writer_.dueAt(), source_.dueAt(), pass_.endsAt()}) {
        if (due)
            at = std::min(at, *due);
    }
    if (service_.keepAliveInterval())
        at = std::min(at, nextKeepAlive_);
    return static_cast<int>(std::clamp<std::int64_t>(at - now_, 0, kPollMs));
}

std::string TncStation::countsText() const
{
    const tnc::TncCounts &c = reader_.counts();
    return "from " + settings_.tnc->text() + ": " + std::to_string(c.telemetry) + " telemetry frames, " +
           std::to_string(c.otherStations) + " of other stations, " + std::to_string(c.otherInfo) +
           " other frames of " + settings_.sourceCall + ", " + std::to_string(c.malformed) + " malformed";
}

int TncStation::stop(int signal)
{
    service_.stopping();
    say(journal::Priority::Info, std::string("ending on ") + endingSignalName(signal));
    // What the TNC sent before the signal is archived now: it is in no file
    // from which a next start could take it.
    now_ = monotonicMs();
    if (source_.connected())
        source_.service(now_, POLLIN, [this](std::span<const std::uint8_t> bytes) { received(bytes); });
    writer_.write(now_, true);
    if (writer_.waiting() > 0)
        say(journal::Priority::Warning,
            std::to_string(writer_.waiting()) + " frames could not be written into the archive" +
                (log_ ? "; they are in the packet log " + log_->path() + ", from which --archive takes them"
                      : " and are lost"));
    if (!pass_.empty())
        say(journal::Priority::Info, pass_.take("pass so far"));
    say(journal::Priority::Info, countsText());
    return 0;
}

int TncStation::run()
{
    now_ = monotonicMs();
    if (!started())
        return 1;
    for (;;) {
        // A full queue leaves the bytes with the system until the archive
        // takes frames again.
        const short wanted = writer_.full() ? 0 : source_.events();
        pollfd fds[] = {{watch_.signalFd(), POLLIN, 0}, {source_.fd(), wanted, 0}};
        const int n = ::poll(fds, source_.fd() >= 0 ? 2 : 1, waitTime());
        now_ = monotonicMs();
        if (n < 0 && errno != EINTR)
            return 1;
        if (const int signal = watch_.takeSignal())
            return stop(signal);
        source_.service(now_, source_.fd() >= 0 ? fds[1].revents : 0,
                        [this](std::span<const std::uint8_t> bytes) { received(bytes); });
        writer_.write(now_);
        limits_.reap();
        endPassIfQuiet();
        if (service_.keepAliveInterval() && now_ >= nextKeepAlive_) {
            service_.keepAlive();
            nextKeepAlive_ = now_ + service_.keepAliveInterval()->count();
        }
    }
}

} // namespace

int runTncStation(const StationSettings &settings, ServiceManager &service)
{
    TncStation station(settings, service);
    return station.run();
}

} // namespace halcyra
