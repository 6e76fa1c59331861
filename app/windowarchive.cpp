// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "windowarchive.h"

#include "archivethread.h"
#include "config.h"
#include "heldarchive.h"
#include "importer.h"
#include "logbox.h"
#include "logfile.h"
#include "receivetime.h"
#include "settings.h"
#include "statusline.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProgressDialog>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <utility>

namespace halcyra {

namespace {

// Followed text is fed in slices this large: a frame takes a line of at
// least 98 characters, so a slice completes fewer frames than a batch, and
// the importer never writes from within feed(), where a failed write would
// drop the rest of the slice. Each slice is written by flush().
constexpr qsizetype kFollowSlice = 256 * 1024;
constexpr std::size_t kFollowBatch = 10'000;
static_assert(kFollowSlice / 98 + 1 < static_cast<qsizetype>(kFollowBatch));
// A write that failed (another program held the archive, a full disk, a
// server out of reach) is tried again this often, also when nothing new arrives.
constexpr int kRetryMs = 2000;
// A write waits this long for another writer's batch, not the library's
// 30 s: a retry comes sooner, and nothing is lost meanwhile.
constexpr std::chrono::milliseconds kBusyTimeout{5000};
// Followed frames that wait this long for the archive are said to wait.
constexpr int kSlowAnswerMs = 2000;
constexpr int kProgressSteps = 1000;
constexpr int kProgressPollMs = 100;

// The log box's text as the parse cycle reads it, copied: the box may change
// while an import runs.
QByteArray boxText(const LogBox *box)
{
    const std::string_view text = box->parserText();
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

std::string_view view(const QByteArray &bytes, qsizetype from = 0, qsizetype size = -1)
{
    const qsizetype n = size < 0 ? bytes.size() - from : size;
    return {bytes.constData() + from, static_cast<std::size_t>(n)};
}

QString shown(const std::string &s)
{
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}

QString countsText(const archive::AddCounts &counts)
{
    return QStringLiteral("%1 new frames archived, %2 were already there")
        .arg(counts.t1.added + counts.t2.added)
        .arg(counts.t1.present + counts.t2.present);
}

// How far an Add Log to Archive has come, read by the window while the thread imports.
struct Progress {
    std::atomic<std::size_t> done{0};
    std::atomic<std::size_t> total{0};
    std::atomic<bool> cancelled{false};
};

// Shown once adding takes longer than half a second; it reads how far the thread has come.
QProgressDialog *progressDialog(const std::shared_ptr<Progress> &progress, QWidget *window)
{
    auto *dialog = new QProgressDialog(QStringLiteral("Adding the log to the archive..."), QStringLiteral("Cancel"), 0,
                                       kProgressSteps, window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("Add Log to Archive"));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setMinimumDuration(500);
    auto *ticks = new QTimer(dialog);
    QObject::connect(ticks, &QTimer::timeout, dialog, [dialog, progress] {
        const std::size_t total = progress->total;
        dialog->setValue(total ? static_cast<int>(progress->done * (kProgressSteps - 1) / total) : 0);
    });
    QObject::connect(dialog, &QProgressDialog::canceled, dialog, [progress] { progress->cancelled = true; });
    ticks->start(kProgressPollMs);
    dialog->setValue(0);
    return dialog;
}

} // namespace

// The archive's thread's state: the archive, and the followed log's importer
// with the followed text not yet handed to it. That text is fed in slices,
// each written at once, so that a write that fails leaves its frames queued
// and the rest here, to be tried again.
struct WindowArchive::Writer {
    // The followed file's first bytes, which it held before following began.
    struct FileStart {
        QString path;
        qint64 size = 0;
        qint64 done = 0; // fed to the importer
    };

    explicit Writer(const std::string &location) : archive(location, options()) {}
    static archive::OpenOptions options()
    {
        archive::OpenOptions o;
        o.busyTimeout = kBusyTimeout;
        return o;
    }

    HeldArchive archive; // the same object for good: importers refer to it
    std::shared_ptr<archive::LogImporter> importer;
    QByteArray backlog;
    qsizetype at = 0;
    std::optional<FileStart> fileStart;        // to be fed ahead of the backlog
    std::optional<archive::Origin> nextOrigin; // the station changed: for what comes after the backlog
    bool report = false;                       // the counts are told once the file read so far is in
    QString followedName;

    std::string feedFileStart();
    std::string pump();
    std::string stop();
};

// What a write of followed frames came to.
struct WindowArchive::Written {
    std::string error;  // empty: everything given is in the archive
    std::string notice; // the archive was opened anew
    std::optional<archive::AddCounts> counts;
    QString followedName;
};

// Read here, not by the window, which may be busy with a log on a network
// share, and in slices like the followed text, so that a week's log is never
// held twice. A write that fails leaves the rest for the next try.
std::string WindowArchive::Writer::feedFileStart()
{
    QFile file(fileStart->path);
    if (file.open(QIODevice::ReadOnly) && file.seek(fileStart->done))
        while (fileStart->done < fileStart->size) {
            const QByteArray slice = file.read(std::min<qint64>(kFollowSlice, fileStart->size - fileStart->done));
            if (slice.isEmpty()) // an error, or the file is shorter now: the follower reads it again whole
                break;
            importer->feed(view(slice));
            fileStart->done += slice.size();
            importer->flush();
        }
    if (file.error() != QFileDevice::NoError)
        return "cannot read " + QFile::encodeName(fileStart->path).toStdString() + ": " +
               file.errorString().toStdString();
    fileStart.reset();
    return {};
}

std::string WindowArchive::Writer::pump()
{
    try {
        importer->flush(); // frames a failed write left queued
        if (fileStart)
            if (std::string error = feedFileStart(); !error.empty())
                return error;
        while (at < backlog.size()) {
            const qsizetype size = std::min(kFollowSlice, backlog.size() - at);
            importer->feed(view(backlog, at, size));
            at += size;
            importer->flush();
        }
        if (nextOrigin) // nothing is queued: this writes nothing
            importer->setOrigin(*std::exchange(nextOrigin, std::nullopt));
    } catch (const archive::ArchiveError &error) {
        return error.what();
    }
    backlog.clear();
    at = 0;
    return {};
}

std::string WindowArchive::Writer::stop()
{
    if (!importer)
        return {};
    std::string error = pump();
    if (error.empty()) {
        try {
            importer->finish();
        } catch (const archive::ArchiveError &e) {
            error = e.what();
        }
    }
    importer.reset();
    backlog.clear();
    at = 0;
    fileStart.reset();
    nextOrigin.reset();
    return error;
}

QString stationNotice(const std::string &station)
{
    return station.empty() ? QStringLiteral("Frames are archived without a station name")
                           : QStringLiteral("Frames are archived as received by ") + QString::fromStdString(station);
}

std::string windowArchiveLocation(const std::optional<std::string> &configured, const std::string &configFolder)
{
    if (!configured || configured->empty())
        return archive::defaultArchiveLocation();
    if (archive::backendOf(*configured) != archive::Backend::File || configured->front() == '/')
        return *configured;
    return (std::filesystem::path(configFolder) / *configured).lexically_normal().string();
}

WindowArchive::WindowArchive(LogBox *logBox, LogFollower *follower, Settings &settings, StatusLine &status,
                             QWidget *window)
    : logBox_(logBox), follower_(follower), settings_(settings), status_(status), window_(window),
      location_(archive::defaultArchiveLocation()), writer_(std::make_shared<Writer>(location_)),
      // Frames given to the thread are written before the window goes.
      thread_(std::make_unique<ArchiveThread>(QDeadlineTimer::Forever)),
      station_(archive::stationName(settings.get(keys::archiveStation).toStdString()).name),
      followed_(settings.get(keys::archiveFollowed))
{
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &WindowArchive::pump);
    connect(&answer_, &QTimer::timeout, this, &WindowArchive::checkAnswer);
    connect(logBox_, &LogBox::textChanged, this, [this] { ++changes_; });
}

WindowArchive::~WindowArchive()
{
    // The window is being taken apart: nobody is left to read the status
    // line, so a failure to write the last frames goes to the error output.
    if (importing_)
        thread_->post([w = writer_] {
            if (const std::string error = w->stop(); !error.empty())
                std::fprintf(stderr, "halcyra: the last followed frames were not archived: %s\n", error.c_str());
        });
    thread_.reset(); // waits for the jobs given
}

void WindowArchive::setLocation(std::string location)
{
    location_ = std::move(location);
    stopImporter();
    thread_->post([w = writer_, location = location_] { w->archive.relocate(location); });
}

void WindowArchive::addLogBox()
{
    auto bytes = std::make_shared<const QByteArray>(boxText(logBox_));
    archive::ImportOptions options;
    // A box a TNC filled holds that TNC's frames, also after disconnecting.
    const std::string boxSource = !boxTnc_.empty() ? boxTnc_ : QFile::encodeName(follower_->path()).toStdString();
    const bool fromFile = !boxSource.empty() && changes_ == fileChanges_;
    options.origin.source = fromFile ? boxSource : std::string("paste");
    options.origin.station = station_;

    auto progress = std::make_shared<Progress>();
    const QPointer<QProgressDialog> dialog = progressDialog(progress, window_);

    thread_->post(
        [w = writer_, bytes, options, progress]() -> QString {
            try {
                const archive::TextImport r =
                    archive::importText(w->archive, view(*bytes), options, [&](std::size_t done, std::size_t total) {
                        progress->done = done;
                        progress->total = total;
                        return !progress->cancelled;
                    });
                const QString counts = countsText(r.counts);
                const std::string notice = w->archive.takeNotice();
                return (notice.empty() ? QString() : shown(notice) + QStringLiteral("; ")) +
                       (r.cancelled ? QStringLiteral("Adding to the archive cancelled: ") + counts : counts);
            } catch (const archive::ArchiveError &error) {
                return shown(error.what());
            }
        },
        [this, dialog](const QString &result) {
            if (dialog) {
                dialog->hide();
                dialog->deleteLater();
            }
            status_.set(StatusLine::Source::Archive, result);
        });
}

void WindowArchive::setArchiveFollowed(bool on)
{
    if (on == followed_)
        return;
    followed_ = on;
    settings_.set(keys::archiveFollowed, on);
    if (!following_)
        return;
    if (on) // a TNC's frames from now on; a followed file whole
        startImporter(tnc_.empty() ? std::nullopt : std::optional<std::string_view>(std::string_view()));
    else
        stopImporter();
}

void WindowArchive::setStation(std::string name)
{
    settings_.set(keys::archiveStation, QString::fromStdString(name));
    useStation(std::move(name));
    status_.set(StatusLine::Source::Archive, stationNotice(station_));
}

void WindowArchive::configureStation(const std::optional<std::string> &configured)
{
    configuredStation_.reset();
    if (!configured)
        return;
    archive::StationName checked = archive::stationName(*configured);
    if (!checked.error.empty()) {
        status_.set(StatusLine::Source::Archive,
                    QStringLiteral("STATION in conf.ini is not used: ") + QString::fromStdString(checked.error));
        return;
    }
    configuredStation_ = checked.name;
    useStation(std::move(checked.name));
}

void WindowArchive::useStation(std::string name)
{
    station_ = std::move(name);
    if (!importing_)
        return;
    // What the thread was given so far keeps the name it came with.
    thread_->post([w = writer_, origin = archive::Origin{followedSource(), station_}] {
        if (w->importer)
            w->nextOrigin = origin;
    });
    pump();
}

void WindowArchive::followStarting()
{
    stopImporter();
    following_ = true;
    if (followed_)
        startImporter(std::nullopt);
}

void WindowArchive::followStopped()
{
    following_ = false;
    stopImporter();
}

void WindowArchive::tncStarting(const std::string &address)
{
    stopImporter();
    following_ = true;
    tnc_ = boxTnc_ = address;
    if (followed_)
        startImporter(std::string_view());
}

void WindowArchive::tncStopped()
{
    followStopped();
    tnc_.clear();
}

std::string WindowArchive::followedSource() const
{
    return !tnc_.empty() ? tnc_ : QFile::encodeName(follower_->path()).toStdString();
}

QString WindowArchive::followedName() const
{
    return !tnc_.empty() ? QString::fromStdString(tnc_) : QFileInfo(follower_->path()).fileName();
}

void WindowArchive::logOpened()
{
    boxTnc_.clear();
    fileChanges_ = changes_;
    fileBytes_ = static_cast<qint64>(logBox_->parserText().size());
    if (following_) // the follower has moved on to this file
        followStarting();
}

// The followed file goes in whole: `text` when the follower read it again,
// otherwise the bytes the log box was given from the file, read from the file
// itself, since the box may hold the user's typing too. The archive counts
// what it holds already and does not add it again.
void WindowArchive::startImporter(std::optional<std::string_view> text)
{
    archive::ImportOptions options;
    options.origin = {followedSource(), station_};
    options.now = [] { return utcNow(); };
    options.batchFrames = kFollowBatch;
    // It touches the archive only when it writes, in the thread.
    auto importer = std::make_shared<archive::LogImporter>(writer_->archive, options);
    std::optional<Writer::FileStart> start;
    QByteArray backlog;
    if (text)
        backlog = QByteArray(text->data(), static_cast<qsizetype>(text->size()));
    else
        start = Writer::FileStart{follower_->path(), fileBytes_};
    importing_ = true;
    thread_->post([w = writer_, importer, backlog, start, name = followedName()] {
        w->importer = importer;
        w->backlog = backlog;
        w->at = 0;
        w->fileStart = start;
        w->nextOrigin.reset();
        w->report = true;
        w->followedName = name;
    });
    pump();
}

void WindowArchive::stopImporter()
{
    retry_.stop();
    if (!importing_)
        return;
    importing_ = false;
    // The rest of the followed text goes in now, whatever the time it takes.
    thread_->post([w = writer_] { return w->stop(); },
                  [this](const std::string &error) {
                      // Importing the log again adds what is missing.
                      if (!error.empty())
                          status_.set(StatusLine::Source::Archive,
                                      QStringLiteral("The last followed frames were not archived: ") + shown(error));
                  });
}

void WindowArchive::appended(std::string_view text)
{
    fileChanges_ = changes_;
    fileBytes_ += static_cast<qint64>(text.size());
    if (!importing_)
        return;
    thread_->post([w = writer_, more = QByteArray(text.data(), static_cast<qsizetype>(text.size()))] {
        if (w->importer)
            w->backlog.append(more);
    });
    if (!retry_.isActive()) // otherwise the retry takes it along
        pump();
}

void WindowArchive::reloaded(std::string_view text)
{
    fileChanges_ = changes_;
    fileBytes_ = static_cast<qint64>(text.size());
    if (!following_ || !followed_)
        return;
    // The file was rewritten: all of it again, as a new text.
    stopImporter();
    startImporter(text);
}

void WindowArchive::pump()
{
    if (!importing_)
        return;
    // One write at a time: while the archive does not answer, every chunk
    // that arrives would otherwise queue a write that waits in its turn,
    // also when the window closes.
    if (asked_ > 0) {
        pumpAgain_ = true;
        return;
    }
    thread_->post(
        [w = writer_] {
            Written written;
            if (w->importer) {
                written.error = w->pump();
                if (written.error.empty() && std::exchange(w->report, false)) {
                    written.counts = w->importer->counts();
                    written.followedName = w->followedName;
                }
            }
            written.notice = w->archive.takeNotice();
            return written;
        },
        [this](const Written &written) {
            --asked_;
            pumped(written);
            if (std::exchange(pumpAgain_, false) && !retry_.isActive())
                pump();
        });
    ++asked_;
    askedSince_.start();
    if (!answer_.isActive())
        answer_.start(1000);
}

void WindowArchive::checkAnswer()
{
    if (asked_ == 0) {
        answer_.stop();
        return;
    }
    if (askedSince_.elapsed() >= kSlowAnswerMs)
        status_.hold(StatusLine::Source::ArchiveFollowed,
                     QStringLiteral("Followed frames wait: %1 has not answered for %2 s")
                         .arg(QString::fromStdString(archive::displayLocation(location_)))
                         .arg(askedSince_.elapsed() / 1000));
}

void WindowArchive::pumped(const Written &written)
{
    QString archived = shown(written.notice);
    if (written.counts)
        archived += (archived.isEmpty() ? QString() : QStringLiteral("; ")) +
                    QStringLiteral("Following %1: ").arg(written.followedName) + countsText(*written.counts);
    if (!archived.isEmpty())
        status_.set(StatusLine::Source::Archive, archived);
    if (written.error.empty()) {
        status_.clear(StatusLine::Source::ArchiveFollowed);
        return;
    }
    if (importing_ && !retry_.isActive())
        retry_.start(kRetryMs);
    // Shown once, not again at every retry: the user may have moved on.
    status_.hold(StatusLine::Source::ArchiveFollowed,
                 QStringLiteral("Followed frames not archived yet: ") + shown(written.error));
}

} // namespace halcyra
