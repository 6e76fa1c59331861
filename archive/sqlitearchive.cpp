// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "sqlitearchive.h"

#include "fields.h"
#include "schema.h"
#include "texts.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halcyra::archive {

namespace {

using Reason = ArchiveError::Reason;

// What the header of another program's SQLite database tells.
constexpr char kOtherProgram[] = ": it is an SQLite database of another program";

std::string errnoText(int error)
{
    return std::strerror(error);
}

// Everything about a file that can be learnt without handing it to SQLite:
// SQLite would roll back a journal lying beside a foreign file, and write to it.
enum class FileState : std::uint8_t { Missing, Empty, Archive };

struct FileFacts {
    FileState state = FileState::Missing;
    std::uint64_t size = 0;
    std::uint32_t pageSize = 0; // as the header gives it
};

// SQLite reads a file that ends inside a page as if the rest were zeros, and
// writes to it; a checkpoint only ever writes whole pages.
void checkWholePages(const std::string &path, const FileFacts &facts)
{
    const std::uint32_t page = facts.pageSize;
    const bool valid = page >= 512 && page <= 65536 && (page & (page - 1)) == 0;
    if (!valid || facts.size % page != 0)
        throw damagedArchive(path, ": it ends inside a page (" + std::to_string(facts.size) + " bytes, pages of " +
                                       std::to_string(page) + ")");
}

FileFacts inspectFile(const std::string &path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return {};
        throw ArchiveError(Reason::Failed, path + ": cannot open the archive: " + errnoText(errno));
    }
    if (S_ISDIR(st.st_mode))
        throw ArchiveError(Reason::NotAnArchive, path + " is not an archive but a folder");
    if (!S_ISREG(st.st_mode))
        throw ArchiveError(Reason::NotAnArchive, path + " is not an archive: not a regular file" + kLeftAlone);
    if (st.st_size == 0)
        return {FileState::Empty};

    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw ArchiveError(Reason::Failed, path + ": cannot read the archive: " + errnoText(errno));
    std::array<unsigned char, 100> header{};
    std::size_t got = 0;
    while (got < header.size()) {
        const ssize_t n = ::read(fd, header.data() + got, header.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);

    static constexpr char kMagic[16] = "SQLite format 3"; // with its NUL
    if (got < sizeof kMagic || std::memcmp(header.data(), kMagic, sizeof kMagic) != 0)
        throw notAnArchive(path, ": it is not an SQLite database");
    if (got < header.size())
        throw damagedArchive(path, ": truncated to " + std::to_string(got) + " bytes");
    const auto at = [&](std::size_t i) {
        return static_cast<std::uint32_t>(header[i]) << 24 | static_cast<std::uint32_t>(header[i + 1]) << 16 |
               static_cast<std::uint32_t>(header[i + 2]) << 8 | header[i + 3];
    };
    if (at(68) != static_cast<std::uint32_t>(kApplicationId))
        throw notAnArchive(path, kOtherProgram);
    // A page size of 1 stands for 65536.
    const std::uint32_t page = static_cast<std::uint32_t>(header[16]) << 8 | header[17];
    return {FileState::Archive, static_cast<std::uint64_t>(st.st_size), page == 1 ? 65536 : page};
}

// A failure of SQLite as a person reads it: the archive, then what happened.
ArchiveError translate(const std::string &path, const SQLite::Exception &e, sqlite3 *db, std::string_view undone)
{
    const int code = e.getErrorCode() & 0xFF;
    const int error = db ? sqlite3_system_errno(db) : 0;
    std::string tail = undone.empty() ? std::string() : "; " + std::string(undone);
    switch (code) {
    case SQLITE_FULL:
        return {Reason::DiskFull, path + ": the disk is full" + tail};
    case SQLITE_IOERR:
        if (error == ENOSPC || error == EDQUOT || error == EFBIG)
            return {Reason::DiskFull, path + ": the disk is full (" + errnoText(error) + ")" + tail};
        // SQLite does not always keep the system's reason for a failed write.
        return {Reason::Failed, path + ": the disk failed to read or write" +
                                    (error ? " (" + errnoText(error) + ")" : std::string()) + tail};
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return {Reason::Busy, path + ": another program kept the archive busy for too long" + tail};
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return damagedArchive(path, " (" + std::string(e.what()) + ")");
    default:
        return {Reason::Failed, path + ": " + e.what() + tail};
    }
}

std::string recordsSql(FrameKind kind)
{
    // hex() of NULL is the empty text; an AX.25 frame is never empty.
    return recordsViewSql(kind, "CASE WHEN typeof(f.frame) = 'blob' THEN hex(f.frame) ELSE f.frame END",
                          "nullif(hex(f.ax25), '')", "");
}

std::string schemaSql()
{
    std::string sql = "CREATE TABLE sources (\n"
                      "    id INTEGER PRIMARY KEY,\n"
                      "    source TEXT NOT NULL,\n"
                      "    station TEXT NOT NULL DEFAULT '',\n"
                      "    UNIQUE (source, station)\n"
                      ");\n";
    for (const FrameKind kind : {FrameKind::T1, FrameKind::T2}) {
        const std::string table(framesTable(kind));
        // The frame is the key: a second reception of it adds nothing. The
        // key leads with the kind's first field, which the frame decides and
        // the satellite counts up (T1's uptime, T2's timestamp): that keeps the key unique exactly
        // when the frame is, and puts the frames of a log next to each other
        // in the key's index instead of all over it: a million frames go in
        // four times faster.
        sql += "CREATE TABLE " + table +
               " (\n"
               "    id INTEGER PRIMARY KEY,\n"
               "    frame BLOB NOT NULL,\n"
               "    received_utc TEXT,\n"
               "    frame_time TEXT NOT NULL,\n"
               "    ax25 BLOB,\n"
               "    source_id INTEGER NOT NULL REFERENCES sources (id)";
        for (int i = firstField(kind); i < fieldEnd(kind); ++i)
            sql += ",\n    " + fieldColumn(FieldCatalogue[static_cast<std::size_t>(i)].caption) + " REAL NOT NULL";
        const std::string lead = fieldColumn(FieldCatalogue[static_cast<std::size_t>(firstField(kind))].caption);
        sql += ",\n    UNIQUE (" + lead + ", frame)\n);\n";
        sql += "CREATE INDEX " + table + "_by_received ON " + table + " (received_utc);\n";
        sql += recordsSql(kind);
    }
    sql += "PRAGMA application_id = " + std::to_string(kApplicationId) + ";\n";
    sql += "PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";\n";
    return sql;
}

// Version 1 to 2, which only adds: the AX.25 frame, and the views that show it.
std::string upgradeSql()
{
    std::string sql;
    for (const FrameKind kind : {FrameKind::T1, FrameKind::T2}) {
        sql += "ALTER TABLE " + std::string(framesTable(kind)) + " ADD COLUMN ax25 BLOB;\n";
        sql += "DROP VIEW " + std::string(recordsView(kind)) + ";\n";
        sql += recordsSql(kind);
    }
    return sql + "PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";\n";
}

// The fields' values are parameters 5 on, the AX.25 frame the last one.
std::string insertSql(FrameKind kind)
{
    std::string columns = "frame, received_utc, frame_time, source_id";
    std::string values = "?, ?, ?, ?";
    for (int i = firstField(kind); i < fieldEnd(kind); ++i) {
        columns += ", " + fieldColumn(FieldCatalogue[static_cast<std::size_t>(i)].caption);
        values += ", ?";
    }
    columns += ", ax25";
    values += ", ?";
    return "INSERT INTO " + std::string(framesTable(kind)) + " (" + columns + ") VALUES (" + values +
           ") ON CONFLICT DO NOTHING";
}

// The WHERE clause of a time range over received_utc (?1 since, ?2 until):
// the text of one shape sorts as the instants do.
std::string rangeSql(const TimeRange &range)
{
    if (range.since && range.until)
        return " WHERE received_utc >= ?1 AND received_utc < ?2";
    if (range.since)
        return " WHERE received_utc >= ?1";
    if (range.until)
        return " WHERE received_utc < ?2";
    return {};
}

// A bound of a time range as received_utc text: instants beyond the years
// text can write bound nothing or everything.
std::string boundText(UtcMillis t)
{
    const std::optional<UtcText> s = formatUtc(t);
    return s ? std::string(s->data(), s->size()) : std::string(t < 0 ? "" : "~");
}

void bindRange(SQLite::Statement &query, const TimeRange &range)
{
    if (range.since)
        query.bind(1, boundText(*range.since));
    if (range.until)
        query.bind(2, boundText(*range.until));
}

std::optional<UtcMillis> receivedOf(const SQLite::Column &column)
{
    if (column.isNull())
        return std::nullopt;
    const char *text = column.getText();
    return parseUtcText(std::string_view(text, static_cast<std::size_t>(column.getBytes())));
}

bool sharedMemoryExists(const std::string &path)
{
    struct stat st {};
    return ::stat((path + "-shm").c_str(), &st) == 0;
}

// A reader of a file in write-ahead-log mode needs its -shm file beside it.
// A writer leaves it there (see setUp); where it is missing, SQLite would
// create it, and the -wal file, owned by whoever reads: in a folder the
// reader may not write it cannot read at all, and in one it may, the files
// it leaves behind stop the owner's next write. Another user reads such a
// file without them, as one that nobody writes, which holds as long as no
// -shm file appears (writerBegan).
bool readsWithoutSharedMemory(const std::string &path)
{
    struct stat st {};
    if (sharedMemoryExists(path) || ::stat(path.c_str(), &st) != 0)
        return false;
    // SQLite gives the files it creates as root to the database's owner.
    const uid_t me = ::geteuid();
    return me != 0 && me != st.st_uid;
}

std::string immutableUri(const std::string &path)
{
    std::string uri = "file:";
    for (const char c : path) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= ' ' || b >= 0x7F || c == '%' || c == '?' || c == '#') {
            static constexpr char kDigits[] = "0123456789ABCDEF";
            uri += '%';
            uri += kDigits[b >> 4];
            uri += kDigits[b & 0xF];
        } else {
            uri += c;
        }
    }
    return uri + "?immutable=1";
}

SQLite::Database openDatabase(const std::string &path, int flags, std::chrono::milliseconds busyTimeout,
                              bool immutable = false)
{
    try {
        // One thread at a time uses an archive: SQLite need not lock its
        // connection around every call.
        const int timeout = static_cast<int>(busyTimeout.count());
        if (immutable)
            return SQLite::Database(immutableUri(path), SQLite::OPEN_READONLY | SQLite::OPEN_URI | SQLite::OPEN_NOMUTEX,
                                    timeout);
        return SQLite::Database(path, flags | SQLite::OPEN_NOMUTEX, timeout);
    } catch (const SQLite::Exception &e) {
        throw translate(path, e, nullptr, {});
    }
}

class SqliteArchive final : public Archive {
public:
    SqliteArchive(std::string path, const OpenOptions &options, FileState state)
        : path_(std::move(path)), busyTimeout_(options.busyTimeout),
          withoutSharedMemory_(options.readOnly && readsWithoutSharedMemory(path_)),
          db_(openDatabase(path_,
                           options.readOnly
                               ? SQLite::OPEN_READONLY
                               : SQLite::OPEN_READWRITE | (state == FileState::Archive ? 0 : SQLite::OPEN_CREATE),
                           busyTimeout_, withoutSharedMemory_)),
          readOnly_(options.readOnly)
    {
        try {
            setUp(options.readOnly, state == FileState::Archive);
        } catch (const SQLite::Exception &e) {
            throw translate(path_, e, db_.getHandle(), {});
        }
    }

    const std::string &location() const override { return path_; }

    AddCounts add(std::span<const ArchiveFrame> frames, const Origin &origin) override
    {
        AddCounts counts;
        if (frames.empty())
            return counts;
        if (readOnly_)
            throw readOnlyArchive(path_);
        std::optional<SQLite::Transaction> transaction;
        try {
            transaction.emplace(db_, SQLite::TransactionBehavior::IMMEDIATE);
            if (!insert_[0])
                upgrade();
            const std::int64_t source = sourceId(origin);
            for (const ArchiveFrame &frame : frames) {
                KindCounts &kindCounts = counts.of(frame.kind);
                if (insertFrame(frame, source))
                    ++kindCounts.added;
                else
                    ++kindCounts.present;
            }
            transaction->commit();
        } catch (const SQLite::Exception &e) {
            // Read before the rollback, which forgets the system's error.
            const ArchiveError error = translate(path_, e, db_.getHandle(), noneAdded(std::to_string(frames.size())));
            transaction.reset();
            throw error;
        }
        return counts;
    }

    void forEachRecord(FrameKind kind, const TimeRange &range, const RecordVisitor &visit) override
    {
        visitRecords(
            kind, rangeSql(range) + " ORDER BY received_utc, id",
            [&](SQLite::Statement &query) { bindRange(query, range); }, visit);
    }

    void forEachRecordById(FrameKind kind, std::int64_t firstId, std::int64_t lastId,
                           const RecordVisitor &visit) override
    {
        visitRecords(
            kind, " WHERE id BETWEEN ?1 AND ?2 ORDER BY id",
            [&](SQLite::Statement &query) {
                query.bind(1, firstId);
                query.bind(2, lastId);
            },
            visit);
    }

    std::vector<FieldSample> fieldSeries(int fieldIndex, const TimeRange &range) override
    {
        if (fieldIndex < 0 || fieldIndex >= kFieldCount)
            throw std::invalid_argument("no field " + std::to_string(fieldIndex));
        const FieldInfo &field = FieldCatalogue[static_cast<std::size_t>(fieldIndex)];
        std::vector<FieldSample> samples;
        // Every record: the table read straight through in archive order and
        // sorted here is a third faster than a walk along the time index with
        // a look-up of each record. A range takes the index.
        const bool everything = !range.since && !range.until;
        startReading();
        try {
            // The last id is found at once and is at least the number of
            // records (and no more than a bound, should a hand have set it).
            const std::int64_t lastId =
                db_.execAndGet("SELECT coalesce(max(id), 0) FROM " + std::string(framesTable(storeOf(field.index))))
                    .getInt64();
            samples.reserve(static_cast<std::size_t>(std::clamp<std::int64_t>(lastId, 0, std::int64_t{1} << 24)));
            // Straight through SQLite's own interface: a wrapper object per
            // column and row costs a fifth of the query over half a million records.
            sqlite3 *db = db_.getHandle();
            const std::string sql = "SELECT received_utc, " + fieldColumn(field.caption) + ", id FROM " +
                                    std::string(framesTable(storeOf(field.index))) + rangeSql(range) +
                                    (everything ? "" : " ORDER BY received_utc, id");
            sqlite3_stmt *prepared = nullptr;
            if (const int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &prepared, nullptr); rc != SQLITE_OK)
                throw SQLite::Exception(db, rc);
            const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> row(prepared, sqlite3_finalize);
            const std::string since = range.since ? boundText(*range.since) : std::string();
            const std::string until = range.until ? boundText(*range.until) : std::string();
            if (range.since)
                sqlite3_bind_text(prepared, 1, since.c_str(), static_cast<int>(since.size()), SQLITE_STATIC);
            if (range.until)
                sqlite3_bind_text(prepared, 2, until.c_str(), static_cast<int>(until.size()), SQLITE_STATIC);
            int rc;
            while ((rc = sqlite3_step(prepared)) == SQLITE_ROW) {
                std::optional<UtcMillis> received;
                if (sqlite3_column_type(prepared, 0) != SQLITE_NULL) {
                    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(prepared, 0));
                    received = parseUtcText(
                        std::string_view(text, static_cast<std::size_t>(sqlite3_column_bytes(prepared, 0))));
                }
                samples.push_back({received, sqlite3_column_double(prepared, 1), sqlite3_column_int64(prepared, 2)});
            }
            if (rc != SQLITE_DONE)
                throw SQLite::Exception(db, rc);
        } catch (const SQLite::Exception &e) {
            if (writerBegan())
                return fieldSeries(fieldIndex, range);
            throw translate(path_, e, db_.getHandle(), {});
        }
        if (writerBegan())
            return fieldSeries(fieldIndex, range);
        // Logs are mostly archived in the order they were received: then
        // there is nothing to sort.
        const auto byTime = [](const FieldSample &a, const FieldSample &b) { return a.received < b.received; };
        if (everything && !std::is_sorted(samples.begin(), samples.end(), byTime))
            std::stable_sort(samples.begin(), samples.end(), byTime);
        return samples;
    }

    std::uint64_t recordCount(FrameKind kind) override
    {
        return static_cast<std::uint64_t>(number("SELECT count(*) FROM " + std::string(framesTable(kind))));
    }

    std::uint64_t changeMark() override
    {
        // Records are only ever added, each with a larger id than the last.
        return static_cast<std::uint64_t>(
            number("SELECT (SELECT coalesce(max(id), 0) FROM " + std::string(framesTable(FrameKind::T1)) +
                   ") + (SELECT coalesce(max(id), 0) FROM " + std::string(framesTable(FrameKind::T2)) + ")"));
    }

    ~SqliteArchive() override
    {
        // A writer's -wal file is kept (setUp), empty once it is all in the database.
        if (!readOnly_) {
            try {
                db_.exec("PRAGMA journal_size_limit = 0");
            } catch (const SQLite::Exception &) {
                // it stays as long as it was
            }
        }
    }

private:
    std::int64_t number(const std::string &sql)
    {
        startReading();
        try {
            const std::int64_t value = db_.execAndGet(sql).getInt64();
            return writerBegan() ? number(sql) : value;
        } catch (const SQLite::Exception &e) {
            if (writerBegan())
                return number(sql);
            throw translate(path_, e, db_.getHandle(), {});
        }
    }

    // A reader without the -shm file (readsWithoutSharedMemory) takes the
    // file's -shm file as soon as a writer has made one.
    void startReading()
    {
        if (withoutSharedMemory_ && sharedMemoryExists(path_)) {
            db_ = openDatabase(path_, SQLite::OPEN_READONLY, busyTimeout_);
            withoutSharedMemory_ = false;
        }
    }

    // Whether a writer began while such a reader read: what it read may then
    // mix the file's pages before and after the writer's copy of its log.
    // The reader has then taken the -shm file, to read again.
    bool writerBegan()
    {
        if (!withoutSharedMemory_ || !sharedMemoryExists(path_))
            return false;
        startReading();
        return true;
    }

    // The records that `tail` (a WHERE and ORDER BY clause) selects, with the
    // values `bind` gives its parameters.
    void visitRecords(FrameKind kind, const std::string &tail, const std::function<void(SQLite::Statement &)> &bind,
                      const RecordVisitor &visit)
    {
        startReading();
        const auto changed = [this] {
            return ArchiveError(Reason::Busy,
                                path_ + ": a program began to write the archive while it was read; read it again");
        };
        try {
            const std::map<std::int64_t, std::pair<std::string, std::string>> sources = readSources();
            const int first = firstField(kind);
            const int count = fieldEnd(kind) - first;
            std::string sql = "SELECT received_utc, frame_time, frame, source_id, id";
            for (int i = first; i < fieldEnd(kind); ++i)
                sql += ", " + fieldColumn(FieldCatalogue[static_cast<std::size_t>(i)].caption);
            sql += " FROM " + std::string(framesTable(kind)) + tail;
            SQLite::Statement query(db_, sql);
            bind(query);
            TelemetryRecord record;
            while (query.executeStep()) {
                const SQLite::Column frameTime = query.getColumn(1);
                const char *timeText = frameTime.getText();
                record.FrameTime.assign(
                    frameTimeBytes(std::string_view(timeText, static_cast<std::size_t>(frameTime.getBytes()))));
                for (int i = 0; i < count; ++i)
                    record.Values[static_cast<std::size_t>(first + i)] = query.getColumn(5 + i).getDouble();
                const SQLite::Column frame = query.getColumn(2);
                const bool binary = frame.isBlob();
                const auto *bytes = static_cast<const char *>(binary ? frame.getBlob() : frame.getText());
                const std::string hex =
                    frameHex(std::string_view(bytes, static_cast<std::size_t>(frame.getBytes())), binary);
                const auto source = sources.find(query.getColumn(3).getInt64());
                static const std::pair<std::string, std::string> kUnknown;
                const auto &[sourceText, station] = source != sources.end() ? source->second : kUnknown;
                if (!visit(StoredRecord{record, receivedOf(query.getColumn(0)), hex, sourceText, station,
                                        query.getColumn(4).getInt64()}))
                    break;
            }
        } catch (const SQLite::Exception &e) {
            if (writerBegan())
                throw changed();
            throw translate(path_, e, db_.getHandle(), {});
        }
        // The visitor has seen the records: they cannot be read again for it.
        if (writerBegan())
            throw changed();
    }

    void setUp(bool readOnly, bool existing)
    {
        if (readOnly || existing) {
            // A read transaction: the checks and the statements see one state.
            SQLite::Transaction transaction(db_, SQLite::TransactionBehavior::DEFERRED);
            checkVersion();
            if (!readOnly)
                checkIntact();
            transaction.commit();
            if (readOnly)
                return;
        }
        // Pages of 16 KiB: a tenth fewer page reads and writes than the usual
        // 4 KiB when a log of a million frames goes in or a field comes out of
        // all of them. Without effect on an archive that has its tables.
        db_.exec("PRAGMA page_size = 16384");
        int version = 0;
        {
            // Two programs may create one archive at the same moment: the
            // one that gets the write lock first creates the tables, the
            // other finds them.
            SQLite::Transaction transaction(db_, SQLite::TransactionBehavior::IMMEDIATE);
            const int objects = db_.execAndGet("SELECT count(*) FROM sqlite_schema").getInt();
            if (objects == 0 && db_.execAndGet("PRAGMA application_id").getInt() == 0)
                db_.exec(schemaSql());
            version = checkVersion();
            transaction.commit();
        }
        // The tables are created with a rollback journal, so the file holds
        // its application id before anything else is written: the check that
        // keeps foreign files away reads only the main file. From here on
        // write-ahead logging: readers never wait for a writer, and a commit
        // does not rewrite pages in the main file. With it, synchronous=NORMAL
        // keeps the database consistent through any crash; only a power loss
        // may undo the last commits since a checkpoint, which importing the
        // same log again restores.
        db_.exec("PRAGMA journal_mode = WAL");
        db_.exec("PRAGMA synchronous = NORMAL");
        // The -wal and -shm files stay when the archive is closed, owned by
        // its writer and with the archive's mode: a reader needs them, and
        // one who may not write the folder could not create them, while one
        // who may would create them as its own and stop the next writer.
        int keep = 1;
        sqlite3_file_control(db_.getHandle(), "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
        // An older archive is upgraded when it is first written, not when it
        // is opened: the window opens its archive for writing at start.
        if (version == kSchemaVersion)
            prepareWriting();
    }

    // Inside add()'s transaction, which holds the write lock: of two programs
    // that find the archive of an older version, the first upgrades it, and
    // the other finds it upgraded.
    void upgrade()
    {
        if (db_.execAndGet("PRAGMA user_version").getInt() < kSchemaVersion)
            db_.exec(upgradeSql());
        prepareWriting();
    }

    void prepareWriting()
    {
        try {
            for (const FrameKind kind : {FrameKind::T1, FrameKind::T2})
                insert_[static_cast<std::size_t>(kind)] = std::make_unique<SQLite::Statement>(db_, insertSql(kind));
            addSource_ = std::make_unique<SQLite::Statement>(
                db_, "INSERT INTO sources (source, station) VALUES (?1, ?2) ON CONFLICT DO NOTHING");
            findSource_ =
                std::make_unique<SQLite::Statement>(db_, "SELECT id FROM sources WHERE source = ?1 AND station = ?2");
        } catch (const SQLite::Exception &e) {
            throw damagedArchive(path_, foreignTables(e.what()));
        }
    }

    int checkVersion()
    {
        const int id = db_.execAndGet("PRAGMA application_id").getInt();
        const int version = db_.execAndGet("PRAGMA user_version").getInt();
        if (id != kApplicationId)
            throw notAnArchive(path_, kOtherProgram);
        if (version > kSchemaVersion)
            throw newerArchive(path_, version);
        if (version < 1)
            throw damagedArchive(path_, kNoVersion);
        return version;
    }

    // Nothing is written into a damaged archive: SQLite notices damage only in
    // the pages a statement reads, and a write in a damaged file may spread
    // the damage or, with a key whose index entry no longer matches its row,
    // add a frame the archive holds. The quick check, which leaves out the
    // indexes' agreement with their tables, misses most single flipped bits;
    // the whole check costs about twice as much (README, "Reliability").
    void checkIntact()
    {
        std::string result = db_.execAndGet("PRAGMA integrity_check(1)").getString();
        if (const std::string_view banner = "*** in database main ***\n"; result.starts_with(banner))
            result.erase(0, banner.size());
        std::replace(result.begin(), result.end(), '\n', ' ');
        if (result != "ok")
            throw damagedArchive(path_, " (" + result + ")");
    }

    std::int64_t sourceId(const Origin &origin)
    {
        const std::string source = archiveText(origin.source, TextFrom::Name);
        const std::string station = archiveText(origin.station, TextFrom::Name);
        addSource_->bind(1, source);
        addSource_->bind(2, station);
        addSource_->exec();
        addSource_->reset();
        findSource_->bind(1, source);
        findSource_->bind(2, station);
        if (!findSource_->executeStep())
            throw ArchiveError(Reason::Failed, path_ + ": the source of the frames could not be recorded");
        const std::int64_t id = findSource_->getColumn(0).getInt64();
        findSource_->reset();
        return id;
    }

    // Whether the frame was new.
    bool insertFrame(const ArchiveFrame &frame, std::int64_t source)
    {
        SQLite::Statement &insert = *insert_[static_cast<std::size_t>(frame.kind)];
        const FrameKey key = frameKey(frame.payloadText());
        if (key.binary) {
            insert.bindNoCopy(1, key.data.data(), static_cast<int>(key.size));
        } else {
            keyText_.assign(key.view());
            insert.bindNoCopy(1, keyText_);
        }
        const std::optional<UtcText> received = frame.received ? formatUtc(*frame.received) : std::nullopt;
        if (received) {
            receivedText_.assign(received->data(), received->size());
            insert.bindNoCopy(2, receivedText_);
        } else {
            insert.bind(2);
        }
        frameTime_ = archiveText(frame.record.FrameTime.view(), TextFrom::Log);
        insert.bindNoCopy(3, frameTime_);
        insert.bind(4, source);
        const int first = firstField(frame.kind);
        for (int i = first; i < fieldEnd(frame.kind); ++i)
            insert.bind(5 + i - first, frame.record.Values[static_cast<std::size_t>(i)]);
        const int ax25 = 5 + fieldEnd(frame.kind) - first;
        if (frame.ax25)
            insert.bindNoCopy(ax25, frame.ax25->data(), static_cast<int>(frame.ax25->size()));
        else
            insert.bind(ax25);
        const bool added = insert.exec() == 1;
        insert.reset();
        return added;
    }

    std::map<std::int64_t, std::pair<std::string, std::string>> readSources()
    {
        std::map<std::int64_t, std::pair<std::string, std::string>> sources;
        SQLite::Statement query(db_, "SELECT id, source, station FROM sources");
        while (query.executeStep())
            sources[query.getColumn(0).getInt64()] = {query.getColumn(1).getString(), query.getColumn(2).getString()};
        return sources;
    }

    std::string path_;
    std::chrono::milliseconds busyTimeout_;
    bool withoutSharedMemory_;
    SQLite::Database db_;
    bool readOnly_;
    // Null until the archive may be written: opened read-only, or of an older version.
    std::array<std::unique_ptr<SQLite::Statement>, 2> insert_;
    std::unique_ptr<SQLite::Statement> addSource_;
    std::unique_ptr<SQLite::Statement> findSource_;
    std::string keyText_;
    std::string receivedText_;
    std::string frameTime_;
};

} // namespace

std::unique_ptr<Archive> openSqliteArchive(const std::string &path, const OpenOptions &options)
{
    const FileFacts facts = inspectFile(path);
    const FileState state = facts.state;
    if (state == FileState::Archive && !options.readOnly)
        checkWholePages(path, facts);
    if (state == FileState::Missing) {
        if (!options.create || options.readOnly)
            throw ArchiveError(Reason::Missing, path + ": there is no archive there");
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        std::error_code error;
        if (!folder.empty())
            std::filesystem::create_directories(folder, error);
        if (error)
            throw ArchiveError(Reason::Failed, path + ": cannot create its folder: " + error.message());
    } else if (state == FileState::Empty && options.readOnly) {
        throw ArchiveError(Reason::Missing, path + ": the file is empty, there is no archive in it");
    }
    return std::make_unique<SqliteArchive>(path, options, state);
}

} // namespace halcyra::archive
