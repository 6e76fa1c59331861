// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "location.h"
#include "receivetime.h"
#include "record.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra::archive {

// The archive's memory of every decoded frame, behind one interface for
// every kind of store: an SQLite file on this computer, or a PostgreSQL
// server that a network of stations shares. An Archive is used by one
// thread at a time.

// Why an archive could not be opened, read or written. what() names the
// archive and the reason, ready for a person to read.
class ArchiveError : public std::runtime_error {
public:
    enum class Reason : std::uint8_t {
        Missing,      // nothing there, and creating was not asked for
        NotAnArchive, // a file of another kind: left as it is
        Damaged,      // truncated or corrupted: left as it is
        NewerVersion, // written by a newer program: left as it is
        Busy,         // another program held it for writing too long
        DiskFull,     // the write was undone whole
        Failed,       // anything else the store reported
        Unreachable,  // the server is down, refused the connection, or the connection broke
        Denied,       // the server's user may not do it (create the tables, write)
    };

    ArchiveError(Reason reason, const std::string &message) : std::runtime_error(message), reason_(reason) {}
    Reason reason() const { return reason_; }

private:
    Reason reason_;
};

// The whole AX.25 frame a TNC handed over, without KISS framing and FCS:
// shared, not copied, by the queued frame and the decoded one. Null for a
// frame read from a log.
using Ax25Bytes = std::shared_ptr<const std::vector<std::uint8_t>>;

// One frame to add: the payload as the log writes it, the record the window
// decodes from it, when it was received, and the AX.25 frame it came in.
struct ArchiveFrame {
    static constexpr std::size_t kMaxPayload = kT1FrameLength - 2;

    FrameKind kind = FrameKind::T1;
    std::uint8_t payloadLength = 0;
    // The characters after the tag, blanks removed, in any letter case.
    std::array<char, kMaxPayload> payload{};
    TelemetryRecord record; // the values of its kind, and its frame time
    std::optional<UtcMillis> received;
    Ax25Bytes ax25;

    std::string_view payloadText() const { return {payload.data(), payloadLength}; }
};

// Where frames came from: the log file's path or "paste", and the receiving
// station's name (empty: not given).
struct Origin {
    std::string source{};
    std::string station{};
};

// A station name takes a line of the archive's tables and of every CSV file
// and plot legend that shows it.
inline constexpr std::size_t kStationNameLimit = 64;

struct StationName {
    std::string name;  // trimmed of spaces; empty: frames carry no station
    std::string error; // why the name is refused, for the user; empty when it is taken
};

// The one rule for a station name, from conf.ini or the Station dialog (UTF-8):
// blanks around it are dropped; a control character (a tab, a line end) or
// more than kStationNameLimit characters refuse it.
StationName stationName(std::string_view text);

// Frames of one kind handed to the archive: those it did not hold yet, and
// those it already held (the first reception stays).
struct KindCounts {
    std::uint64_t added = 0;
    std::uint64_t present = 0;
};
struct AddCounts {
    KindCounts t1;
    KindCounts t2;

    KindCounts &of(FrameKind kind) { return kind == FrameKind::T1 ? t1 : t2; }
    const KindCounts &of(FrameKind kind) const { return kind == FrameKind::T1 ? t1 : t2; }
    AddCounts &operator+=(const AddCounts &o)
    {
        t1.added += o.t1.added;
        t1.present += o.t1.present;
        t2.added += o.t2.added;
        t2.present += o.t2.present;
        return *this;
    }
};

// Receive times `since` <= t < `until`; a bound left open is no limit. With
// either bound, records without a receive time are left out.
struct TimeRange {
    std::optional<UtcMillis> since;
    std::optional<UtcMillis> until;
};

// A range that ends where or before it starts holds nothing by its own
// bounds: both programs refuse it as a usage error, with this text. Empty
// when the range may be asked for.
std::string reversedRangeError(const TimeRange &range);

// One archived record as a query hands it out; the views are valid during the call.
struct StoredRecord {
    const TelemetryRecord &record; // the values of its kind, and its frame time
    std::optional<UtcMillis> received;
    std::string_view frameHex; // the payload, upper case
    std::string_view source;
    std::string_view station; // empty: not given
    std::int64_t id = 0;      // a record archived later has a larger one
};
// Returns false to stop the query.
using RecordVisitor = std::function<bool(const StoredRecord &)>;

struct FieldSample {
    std::optional<UtcMillis> received;
    double value;
    std::int64_t id = 0; // the record's, as StoredRecord::id
};

class Archive {
public:
    virtual ~Archive() = default;

    // The path or address it was opened with, for messages: a server's
    // address without its password.
    virtual const std::string &location() const = 0;

    // Adds the frames as one transaction: all of them or, on an error, none.
    // A frame whose kind and payload the archive holds is not added again.
    virtual AddCounts add(std::span<const ArchiveFrame> frames, const Origin &origin) = 0;

    // The records of a kind in the range, by receive time (records without
    // one first), then in the order they were archived.
    virtual void forEachRecord(FrameKind kind, const TimeRange &range, const RecordVisitor &visit) = 0;

    // The records of a kind with firstId <= id <= lastId, in the order they
    // were archived: one record for its details, or those added since a
    // reader last looked.
    virtual void forEachRecordById(FrameKind kind, std::int64_t firstId, std::int64_t lastId,
                                   const RecordVisitor &visit) = 0;

    // One catalogue field of every record in the range, in the same order as forEachRecord.
    virtual std::vector<FieldSample> fieldSeries(int fieldIndex, const TimeRange &range) = 0;

    virtual std::uint64_t recordCount(FrameKind kind) = 0;

    // Changes whenever records are added, by this program or by another one
    // writing the same archive; cheap enough to ask every second.
    virtual std::uint64_t changeMark() = 0;
};

struct OpenOptions {
    bool create = true; // a missing archive is created, with its folder
    bool readOnly = false;
    // How long a write waits while another program writes the same archive.
    std::chrono::milliseconds busyTimeout{30'000};
};

// Opens or creates the archive at `location`: a file path for the embedded
// store, or a PostgreSQL connection URI (postgresql://user@host:port/dbname)
// for a server. Anything that is not an archive of this program, or of a
// version it can read, is refused with an ArchiveError and left untouched.
std::unique_ptr<Archive> openArchive(const std::string &location, const OpenOptions &options = {});

// Opens an archive that must already exist, to read it only: for the
// programs that show or export what others have archived.
std::unique_ptr<Archive> openArchiveToRead(const std::string &location,
                                           std::chrono::milliseconds busyTimeout = OpenOptions{}.busyTimeout);

// $XDG_DATA_HOME/halcyra/archive.sqlite, by default
// ~/.local/share/halcyra/archive.sqlite; empty when neither variable is set.
std::string defaultArchiveLocation();

} // namespace halcyra::archive
