// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "archive.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

class LogBox;
class LogFollower;
class Settings;
class StatusLine;

// The archive a conf.ini value names: empty or absent is the default one; a
// relative path is taken from the folder of conf.ini, not from wherever the
// program was started; a server address is passed on as it is.
std::string windowArchiveLocation(const std::optional<std::string> &configured, const std::string &configFolder);

// What the archive gets as the station's name, for the status line and the Station dialog.
QString stationNotice(const std::string &station);

class ArchiveThread;

// The window's side of the archive: the log box added on request, and the
// frames of a followed log as they arrive. The archive is opened on first
// use and kept open. All work on it runs in a thread of its own, so that a
// server that is slow or gone never freezes the window. Nothing here
// interrupts the user: errors go to the status line, never into a message
// box, and never end the program.
class WindowArchive : public QObject {
    Q_OBJECT
public:
    // Reads the log box and the followed file's path; reports to `status`,
    // which must outlive it.
    WindowArchive(LogBox *logBox, LogFollower *follower, Settings &settings, StatusLine &status, QWidget *window);
    ~WindowArchive() override;

    void setLocation(std::string location);
    const std::string &location() const { return location_; }

    // Adds every frame of the log box, with a progress dialog once it takes
    // longer than half a second; the status line tells the counts. The frames come from the opened file's path
    // while the box holds nothing but that file's text, otherwise from "paste".
    void addLogBox();

    // Archive Followed Frames, remembered from one run to the next.
    void setArchiveFollowed(bool on);
    bool archivesFollowed() const { return followed_; }

    // The receiving station's name that archived frames carry; empty: none.
    const std::string &station() const { return station_; }
    // The name chosen in Archive > Station..., already checked: remembered,
    // and carried by what is added and followed from here on.
    void setStation(std::string name);
    // STATION of conf.ini, read at each start, wins over the remembered name
    // for the run, as ARCHIVE names the archive; a name the rule refuses is
    // reported and not used.
    void configureStation(const std::optional<std::string> &configured);
    const std::optional<std::string> &configuredStation() const { return configuredStation_; }

    // Following starts, or stops. With Archive Followed Frames on, the whole
    // followed file goes in, also what it held before following started.
    void followStarting();
    void followStopped();
    // A file was put into the log box; while following, it is the one followed now.
    void logOpened();
    // A TNC's frames, as packet log text through appended(), come from
    // `address` until tncStopped(); like a followed log's, they go in when
    // Archive Followed Frames is on.
    void tncStarting(const std::string &address);
    void tncStopped();
    // What the followed file brought, once the log box shows it.
    void appended(std::string_view text);
    void reloaded(std::string_view text);

private:
    // What the archive's thread holds, and what a write came to; see windowarchive.cpp.
    struct Writer;
    struct Written;

    void useStation(std::string name);
    // Where followed frames come from: the TNC's address, or the followed file.
    std::string followedSource() const;
    QString followedName() const;
    void startImporter(std::optional<std::string_view> text);
    void stopImporter();
    void pump();
    void pumped(const Written &written);
    void checkAnswer();

    LogBox *logBox_;
    LogFollower *follower_;
    Settings &settings_;
    StatusLine &status_;
    QWidget *window_;
    std::string location_;
    std::shared_ptr<Writer> writer_; // used by the thread's jobs only, once built
    std::unique_ptr<ArchiveThread> thread_;
    std::string station_;
    std::optional<std::string> configuredStation_;
    bool followed_ = true;
    bool following_ = false;
    bool importing_ = false; // the thread has an importer of the followed log
    std::string tnc_;        // the TNC's address while connected
    std::string boxTnc_;     // the TNC whose frames the box holds, until a log is opened
    QTimer retry_;
    QTimer answer_;            // while followed frames wait for the archive's thread
    QElapsedTimer askedSince_; // since the write under way was asked for
    int asked_ = 0;            // writes not answered: 0 or 1
    bool pumpAgain_ = false;   // more followed text came while a write was under way
    // Changes of the log box, and their count when it last held the opened
    // file's text and nothing else.
    quint64 changes_ = 0;
    quint64 fileChanges_ = 0;
    qint64 fileBytes_ = 0; // of the followed file, handed to the log box so far
};

} // namespace halcyra
