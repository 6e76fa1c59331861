// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "windowarchive.h"

#include "logbox.h"
#include "logfile.h"
#include "receivetime.h"
#include "userfolders.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProgressDialog>
#include <QSettings>

#include <algorithm>
#include <filesystem>

namespace halcyra {

namespace {

// Followed text is fed in slices this large: a frame takes a line of at
// least 98 characters, so a slice completes fewer frames than a batch, and
// the importer never writes from within feed(), where a failed write would
// drop the rest of the slice. Each slice is written by flush().
constexpr qsizetype kFollowSlice = 256 * 1024;
constexpr std::size_t kFollowBatch = 10'000;
static_assert(kFollowSlice / 98 + 1 < static_cast<qsizetype>(kFollowBatch));
// A reloaded file of many megabytes goes in over several turns of the event
// loop, this long each, so the window stays responsive.
constexpr qint64 kPumpTurnMs = 50;
// A write that failed (another program held the archive, a full disk) is tried
// again this often, also when nothing new arrives.
constexpr int kRetryMs = 2000;
// The window waits this long for another writer's batch, not the library's
// 30 s: a frozen window is worse than a retry, and nothing is lost meanwhile.
constexpr std::chrono::milliseconds kBusyTimeout{5000};
constexpr int kProgressSteps = 1000;

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

QString errorText(const archive::ArchiveError &error)
{
    return QString::fromLocal8Bit(error.what());
}

const QString kFollowedKey = QStringLiteral("archive/followedFrames");

} // namespace

std::string windowArchiveLocation(const std::optional<std::string> &configured, const std::string &configFolder)
{
    if (!configured || configured->empty())
        return archive::defaultArchiveLocation();
    if (archive::backendOf(*configured) != archive::Backend::File || configured->front() == '/')
        return *configured;
    return (std::filesystem::path(configFolder) / *configured).lexically_normal().string();
}

WindowArchive::WindowArchive(LogBox *logBox, LogFollower *follower, QWidget *window)
    : QObject(window), logBox_(logBox), follower_(follower), window_(window),
      location_(archive::defaultArchiveLocation()), followed_(userSettings().value(kFollowedKey, true).toBool())
{
    pump_.setSingleShot(true);
    connect(&pump_, &QTimer::timeout, this, &WindowArchive::pump);
    connect(logBox_, &LogBox::textChanged, this, [this] { ++changes_; });
    connect(follower_, &LogFollower::appended, this, &WindowArchive::appended);
    connect(follower_, &LogFollower::reloaded, this, &WindowArchive::reloaded);
    connect(follower_, &LogFollower::stopped, this, &WindowArchive::followStopped);
}

WindowArchive::~WindowArchive()
{
    // The window is being taken apart: nobody is left to show a message.
    blockSignals(true);
    stopImporter();
}

archive::Archive &WindowArchive::archive()
{
    if (!archive_) {
        archive::OpenOptions options;
        options.busyTimeout = kBusyTimeout;
        archive_ = archive::openArchive(location_, options);
    }
    return *archive_;
}

void WindowArchive::addLogBox()
{
    const QByteArray bytes = boxText(logBox_);
    archive::ImportOptions options;
    const bool fromFile = !follower_->path().isEmpty() && changes_ == fileChanges_;
    options.origin.source = fromFile ? QFile::encodeName(follower_->path()).toStdString() : std::string("paste");

    QProgressDialog progress(QStringLiteral("Adding the log to the archive..."), QStringLiteral("Cancel"), 0,
                             kProgressSteps, window_);
    progress.setWindowTitle(QStringLiteral("Add Log to Archive"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    try {
        const archive::TextImport r =
            archive::importText(archive(), view(bytes), options, [&](std::size_t done, std::size_t total) {
                progress.setValue(total ? static_cast<int>(done * kProgressSteps / total) : kProgressSteps);
                return !progress.wasCanceled();
            });
        const QString counts = QStringLiteral("%1 new frames archived, %2 were already there")
                                   .arg(r.counts.t1.added + r.counts.t2.added)
                                   .arg(r.counts.t1.present + r.counts.t2.present);
        emit status(r.cancelled ? QStringLiteral("Adding to the archive cancelled: ") + counts : counts);
    } catch (const archive::ArchiveError &error) {
        emit status(errorText(error));
    }
}

void WindowArchive::setArchiveFollowed(bool on)
{
    if (on == followed_)
        return;
    followed_ = on;
    userSettings().setValue(kFollowedKey, on);
    if (!following_)
        return;
    if (on)
        startImporter(logBox_->parserText(), false); // skipped at once: no copy needed
    else
        stopImporter();
}

void WindowArchive::followStarting()
{
    stopImporter();
    following_ = true;
    if (followed_)
        startImporter(logBox_->parserText(), false); // skipped at once: no copy needed
}

void WindowArchive::followStopped()
{
    following_ = false;
    stopImporter();
}

void WindowArchive::logOpened()
{
    fileChanges_ = changes_;
    if (following_) // the follower has moved on to this file
        followStarting();
}

void WindowArchive::startImporter(std::string_view text, bool archiveText)
{
    archive::ImportOptions options;
    options.origin.source = QFile::encodeName(follower_->path()).toStdString();
    options.now = [] { return utcNow(); };
    options.batchFrames = kFollowBatch;
    try {
        importer_ = std::make_unique<archive::LogImporter>(archive(), options);
    } catch (const archive::ArchiveError &error) {
        // Not tried again until following starts anew.
        emit status(QStringLiteral("Followed frames are not archived: ") + errorText(error));
        return;
    }
    if (archiveText) {
        backlog_ = QByteArray(text.data(), static_cast<qsizetype>(text.size()));
        backlogAt_ = 0;
        pump();
    } else {
        importer_->skip(text); // writes nothing, so it cannot fail
    }
}

void WindowArchive::stopImporter()
{
    pump_.stop();
    if (!importer_)
        return;
    // The rest of the followed text goes in now, whatever the time it takes.
    try {
        importer_->flush();
        for (; backlogAt_ < backlog_.size(); backlogAt_ += kFollowSlice) {
            importer_->feed(view(backlog_, backlogAt_, std::min(kFollowSlice, backlog_.size() - backlogAt_)));
            importer_->flush();
        }
        importer_->finish();
    } catch (const archive::ArchiveError &error) {
        // Importing the log again adds what is missing.
        emit status(QStringLiteral("The last followed frames were not archived: ") + errorText(error));
    }
    importer_.reset();
    backlog_.clear();
    backlogAt_ = 0;
}

void WindowArchive::appended(std::string_view text)
{
    fileChanges_ = changes_;
    if (!importer_)
        return;
    if (backlogAt_ == backlog_.size()) {
        backlog_.clear();
        backlogAt_ = 0;
    }
    backlog_.append(text.data(), static_cast<qsizetype>(text.size()));
    if (!pump_.isActive())
        pump();
}

void WindowArchive::reloaded(std::string_view text)
{
    fileChanges_ = changes_;
    if (!following_ || !followed_)
        return;
    // The file was rewritten: all of it again, as a new text. Frames the
    // archive holds already are counted, not added.
    stopImporter();
    startImporter(text, true);
}

void WindowArchive::pump()
{
    if (!importer_)
        return;
    QElapsedTimer turn;
    turn.start();
    try {
        importer_->flush(); // frames a failed write left queued
        while (backlogAt_ < backlog_.size()) {
            const qsizetype size = std::min(kFollowSlice, backlog_.size() - backlogAt_);
            importer_->feed(view(backlog_, backlogAt_, size));
            backlogAt_ += size;
            importer_->flush();
            if (backlogAt_ < backlog_.size() && turn.elapsed() >= kPumpTurnMs) {
                pump_.start(0);
                return;
            }
        }
    } catch (const archive::ArchiveError &error) {
        followFailed(error);
        pump_.start(kRetryMs);
        return;
    }
    if (!followNotice_.isEmpty()) {
        emit withdraw(followNotice_);
        followNotice_.clear();
    }
}

void WindowArchive::followFailed(const archive::ArchiveError &error)
{
    // Shown once, not again at every retry: the user may have moved on.
    const QString notice = QStringLiteral("Followed frames not archived yet: ") + errorText(error);
    if (notice == followNotice_)
        return;
    followNotice_ = notice;
    emit status(notice);
}

} // namespace halcyra
