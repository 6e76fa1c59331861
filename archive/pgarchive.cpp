// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "pgarchive.h"

#include "fields.h"
#include "hex.h"
#include "schema.h"

#include <libpq-fe.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace halcyra::archive {

namespace {

using Reason = ArchiveError::Reason;

const std::string kLeftAlone = "; it was left as it is";

// Rows per FETCH: few enough that a result holds little memory, many enough
// that round trips do not dominate.
constexpr int kFetchRows = 20'000;

// Every name an archive gives a table or a view. A database that holds one of
// them without the archive's own table is another program's.
constexpr std::array<std::string_view, 8> kArchiveNames = {
    "halcyra_archive", "sources",    "t1_frames",     "t2_frames",
    "t1_records",      "t2_records", "t1_receptions", "t2_receptions",
};

std::string_view framesTable(FrameKind kind)
{
    return kind == FrameKind::T1 ? "t1_frames" : "t2_frames";
}
std::string_view stageTable(FrameKind kind)
{
    return kind == FrameKind::T1 ? "t1_stage" : "t2_stage";
}
std::string_view receptionsView(FrameKind kind)
{
    return kind == FrameKind::T1 ? "t1_receptions" : "t2_receptions";
}

// A field's column, quoted: "timestamp" is a word of SQL.
std::string fieldName(int index)
{
    return '"' + fieldColumn(FieldCatalogue[static_cast<std::size_t>(index)].caption) + '"';
}
std::string leadName(FrameKind kind)
{
    return fieldName(firstField(kind));
}

// ", p.a, p.b, ..." over the kind's fields.
std::string fieldList(FrameKind kind, std::string_view prefix)
{
    std::string list;
    for (int i = firstField(kind); i < fieldEnd(kind); ++i) {
        list += ", ";
        list += prefix;
        list += fieldName(i);
    }
    return list;
}

// A server's message on one line, without the severity libpq puts first.
std::string oneLine(std::string_view message)
{
    for (const std::string_view severity : {"ERROR:  ", "FATAL:  "}) {
        if (message.starts_with(severity))
            message.remove_prefix(severity.size());
    }
    // libpq's hints follow on lines of their own.
    std::string line;
    bool broken = false;
    for (const char c : message) {
        if (c == '\n' || c == '\r') {
            broken = !line.empty();
            continue;
        }
        if (c == '\t' && (broken || line.empty()))
            continue;
        if (broken)
            line += "; ";
        broken = false;
        line += c;
    }
    return line;
}

// What libpq is given, and what messages may show of it.
struct ServerAddress {
    std::string display;
    std::string conninfo;
    std::vector<std::string> secrets; // never to appear in a message
};

std::string withoutSecrets(std::string text, const std::vector<std::string> &secrets)
{
    for (const std::string &secret : secrets) {
        // A message that holds a very short password anywhere is more likely
        // a coincidence than a leak, and blotting it out would garble it.
        if (secret.size() < 4)
            continue;
        for (std::size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3))
            text.replace(at, secret.size(), "***");
    }
    return text;
}

ServerAddress parseAddress(const std::string &uri)
{
    ServerAddress address;
    address.display = displayLocation(uri);
    address.secrets = passwordTexts(uri);
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(uri.c_str(), &error);
    if (!options) {
        const std::string why = error ? oneLine(error) : "out of memory";
        PQfreemem(error);
        throw ArchiveError(Reason::Failed, address.display + " is not a valid PostgreSQL connection URI (" +
                                               withoutSecrets(why, address.secrets) + ")");
    }
    bool timeout = std::getenv("PGCONNECT_TIMEOUT") != nullptr;
    bool keepalives = false;
    for (const PQconninfoOption *o = options; o->keyword; ++o) {
        if (!o->val)
            continue;
        const std::string_view keyword = o->keyword;
        if (keyword == "password" || keyword == "sslpassword")
            address.secrets.emplace_back(o->val);
        timeout = timeout || keyword == "connect_timeout";
        keepalives = keepalives || keyword.starts_with("keepalives");
    }
    PQconninfoFree(options);

    address.conninfo = uri;
    const bool open = uri.find('?') != std::string::npos;
    bool separated = !open || uri.ends_with('?') || uri.ends_with('&');
    if (!open)
        address.conninfo += '?';
    const auto add = [&](std::string_view parameter) {
        if (!separated)
            address.conninfo += '&';
        address.conninfo += parameter;
        separated = false;
    };
    // A server that is down or out of reach answers with an error in
    // seconds, not after the system's minutes; a connection that dies
    // silently is noticed within a minute.
    if (!timeout)
        add("connect_timeout=5");
    if (!keepalives)
        add("keepalives_idle=30&keepalives_interval=10&keepalives_count=3");
    add("fallback_application_name=halcyra");
    return address;
}

std::string schemaSql()
{
    // The tables are the program's own; users read the views.
    std::string sql = "CREATE TABLE halcyra_archive (\n"
                      "    application_id integer NOT NULL,\n"
                      "    version integer NOT NULL,\n"
                      "    changes bigint NOT NULL\n"
                      ");\n"
                      "INSERT INTO halcyra_archive VALUES (" +
                      std::to_string(kApplicationId) + ", " + std::to_string(kSchemaVersion) +
                      ", 0);\n"
                      "CREATE TABLE sources (\n"
                      "    id integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,\n"
                      "    source text NOT NULL,\n"
                      "    station text NOT NULL DEFAULT '',\n"
                      "    UNIQUE (source, station)\n"
                      ");\n";
    for (const FrameKind kind : {FrameKind::T1, FrameKind::T2}) {
        const std::string table(framesTable(kind));
        // As in the file store, the key leads with the field the satellite
        // counts up, so that a log's frames lie next to each other in it.
        sql += "CREATE TABLE " + table +
               " (\n"
               "    id bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,\n"
               "    frame bytea NOT NULL,\n"
               "    damaged boolean NOT NULL,\n"
               "    received_utc timestamptz,\n"
               "    frame_time text NOT NULL,\n"
               "    source_id integer NOT NULL,\n"
               // Every station that heard the frame, once, in the order they
               // added it: the first one's reception is the one kept.
               "    stations text[] NOT NULL";
        std::string fields;
        for (int i = firstField(kind); i < fieldEnd(kind); ++i) {
            sql += ",\n    " + fieldName(i) + " double precision NOT NULL";
            fields += ",\n    f." + fieldName(i) + " AS " + fieldName(i);
        }
        sql += ",\n    UNIQUE (" + leadName(kind) + ", frame, damaged)\n);\n";
        sql += "CREATE INDEX " + table + "_by_received ON " + table + " (received_utc NULLS FIRST, id);\n";
        const std::string frameHexSql =
            "CASE WHEN f.damaged THEN convert_from(f.frame, 'UTF8') ELSE upper(encode(f.frame, 'hex')) END";
        sql += "CREATE VIEW " + std::string(recordsView(kind)) +
               " AS SELECT\n"
               "    f.received_utc AS received_utc,\n"
               "    f.frame_time AS frame_time,\n"
               "    " +
               frameHexSql +
               " AS frame_hex,\n"
               "    s.source AS source,\n"
               "    NULLIF(s.station, '') AS station" +
               fields + "\nFROM " + table + " AS f JOIN sources AS s ON s.id = f.source_id;\n";
        sql += "CREATE VIEW " + std::string(receptionsView(kind)) +
               " AS SELECT\n"
               "    " +
               frameHexSql +
               " AS frame_hex,\n"
               "    cardinality(f.stations) AS receptions,\n"
               "    array_remove(f.stations, '') AS stations\n"
               "FROM " +
               table + " AS f;\n";
    }
    return sql;
}

// ---- A thin layer over libpq ----
//
// Frames go to the server in COPY's binary format and values come back in
// binary results: a double travels as its eight bytes, bit for bit, and the
// server neither parses nor prints a number.

struct ResultFree {
    void operator()(PGresult *result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultFree>;

// What the server or libpq reported. `lost`: the connection is gone.
struct ServerFailure {
    std::string sqlstate;
    std::string message;
    bool lost = false;
    bool inDoubt = false; // lost while committing
};

class Connection {
public:
    explicit Connection(const std::string &conninfo) : conn_(PQconnectdb(conninfo.c_str()))
    {
        if (!conn_)
            throw ServerFailure{{}, "out of memory", true};
        if (PQstatus(conn_) != CONNECTION_OK) {
            ServerFailure failure{{}, oneLine(PQerrorMessage(conn_)), true};
            PQfinish(conn_);
            throw failure;
        }
        // The server's notices are not for the decoder's users.
        PQsetNoticeProcessor(
            conn_, [](void *, const char *) {}, nullptr);
    }
    ~Connection() { PQfinish(conn_); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool lost() const { return PQstatus(conn_) != CONNECTION_OK; }

    Result exec(const std::string &sql) { return check(Result(PQexec(conn_, sql.c_str()))); }

    // Text parameters; results in binary when asked.
    Result exec(const std::string &sql, std::initializer_list<std::string_view> parameters, bool binary = false)
    {
        std::vector<std::string> copies(parameters.begin(), parameters.end());
        std::vector<const char *> values;
        for (const std::string &p : copies)
            values.push_back(p.c_str());
        return check(Result(PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                                         nullptr, nullptr, binary ? 1 : 0)));
    }

    // Runs a COPY ... FROM STDIN and sends `data`.
    void copyIn(const std::string &sql, std::string_view data)
    {
        const Result start(PQexec(conn_, sql.c_str()));
        if (!start || PQresultStatus(start.get()) != PGRES_COPY_IN)
            fail(start.get());
        constexpr std::size_t kChunk = std::size_t{1} << 20;
        for (std::size_t at = 0; at < data.size(); at += kChunk) {
            const std::string_view chunk = data.substr(at, kChunk);
            if (PQputCopyData(conn_, chunk.data(), static_cast<int>(chunk.size())) != 1)
                fail(nullptr);
        }
        if (PQputCopyEnd(conn_, nullptr) != 1)
            fail(nullptr);
        check(Result(PQgetResult(conn_)));
        while (PGresult *more = PQgetResult(conn_))
            PQclear(more);
    }

    // COMMIT, telling a connection lost meanwhile apart: the transaction
    // may have been committed or not.
    void commit()
    {
        try {
            exec("COMMIT");
        } catch (ServerFailure &failure) {
            failure.inDoubt = failure.lost;
            throw;
        }
    }

    std::string quote(std::string_view text) const
    {
        char *quoted = PQescapeLiteral(conn_, text.data(), text.size());
        if (!quoted)
            throw ServerFailure{{}, oneLine(PQerrorMessage(conn_)), lost()};
        std::string out(quoted);
        PQfreemem(quoted);
        return out;
    }

private:
    Result check(Result result)
    {
        const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
            return result;
        fail(result.get());
    }

    [[noreturn]] void fail(const PGresult *result)
    {
        ServerFailure failure;
        const char *state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
        const char *primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
        failure.sqlstate = state ? state : "";
        failure.message = oneLine(primary ? primary : PQerrorMessage(conn_));
        failure.lost = lost() || failure.sqlstate.starts_with("08") || failure.sqlstate.starts_with("57P");
        throw failure;
    }

    PGconn *conn_;
};

// A transaction that is rolled back unless committed.
class Transaction {
public:
    explicit Transaction(Connection &connection, const char *begin = "BEGIN") : connection_(connection)
    {
        connection_.exec(begin);
    }
    ~Transaction()
    {
        if (!done_ && !connection_.lost()) {
            try {
                connection_.exec("ROLLBACK");
            } catch (const ServerFailure &) {
                // The connection is dropped on the failure that brought us here.
            }
        }
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    void commit()
    {
        done_ = true;
        connection_.commit();
    }

private:
    Connection &connection_;
    bool done_ = false;
};

std::string_view textOf(const PGresult *result, int row, int column)
{
    return {PQgetvalue(result, row, column), static_cast<std::size_t>(PQgetlength(result, row, column))};
}

std::uint64_t numberOf(const PGresult *result, int row, int column)
{
    std::uint64_t n = 0;
    const std::string_view text = textOf(result, row, column);
    std::from_chars(text.data(), text.data() + text.size(), n);
    return n;
}

std::uint64_t bigEndian(const char *bytes, std::size_t size)
{
    std::uint64_t n = 0;
    for (std::size_t i = 0; i < size; ++i)
        n = n << 8 | static_cast<unsigned char>(bytes[i]);
    return n;
}

// Binary results: int8, float8 and timestamptz are eight bytes, big-endian.
std::int64_t int8Of(const PGresult *result, int row, int column)
{
    return static_cast<std::int64_t>(bigEndian(PQgetvalue(result, row, column), 8));
}
double float8Of(const PGresult *result, int row, int column)
{
    return std::bit_cast<double>(bigEndian(PQgetvalue(result, row, column), 8));
}

// timestamptz counts microseconds from 2000-01-01 UTC.
constexpr UtcMillis kPostgresEpoch = 946'684'800'000;

std::optional<UtcMillis> receivedOf(const PGresult *result, int row, int column)
{
    if (PQgetisnull(result, row, column))
        return std::nullopt;
    const std::int64_t micros = int8Of(result, row, column);
    return kPostgresEpoch + (micros >= 0 ? micros / 1000 : -((-micros + 999) / 1000));
}

// COPY's binary format, written into one buffer per batch.
class CopyBuffer {
public:
    CopyBuffer()
    {
        static constexpr char kSignature[] = "PGCOPY\n\377\r\n"; // and its NUL
        data_.append(kSignature, sizeof kSignature);
        putInt(0, 4); // flags
        putInt(0, 4); // header extension
    }
    void row(int fields) { putInt(static_cast<std::uint64_t>(fields), 2); }
    void null() { putInt(0xFFFFFFFF, 4); }
    void bytes(std::string_view value)
    {
        putInt(value.size(), 4);
        data_.append(value);
    }
    void boolean(bool value)
    {
        putInt(1, 4);
        data_ += value ? '\1' : '\0';
    }
    void int8(std::int64_t value)
    {
        putInt(8, 4);
        putInt(static_cast<std::uint64_t>(value), 8);
    }
    void float8(double value) { int8(static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(value))); }
    std::string_view finish()
    {
        putInt(0xFFFF, 2);
        return data_;
    }

private:
    void putInt(std::uint64_t value, int size)
    {
        for (int shift = 8 * (size - 1); shift >= 0; shift -= 8)
            data_ += static_cast<char>(value >> shift & 0xFF);
    }
    std::string data_;
};

// A bound of a time range as the server reads it; instants beyond the years
// text can write bound nothing or everything.
std::string boundSql(UtcMillis bound)
{
    const std::optional<UtcText> text = formatUtc(bound);
    if (!text)
        return bound < 0 ? "'-infinity'::timestamptz" : "'infinity'::timestamptz";
    return "'" + std::string(text->data(), text->size()) + "'::timestamptz";
}

std::string rangeSql(const TimeRange &range, std::string_view column)
{
    std::string where;
    if (range.since)
        where += " WHERE " + std::string(column) + " >= " + boundSql(*range.since);
    if (range.until)
        where += (where.empty() ? " WHERE " : " AND ") + std::string(column) + " < " + boundSql(*range.until);
    return where;
}

class PostgresArchive final : public Archive {
    struct Session {
        explicit Session(const std::string &conninfo) : conn(conninfo) {}
        Connection conn;
        bool staged = false;
        int reading = 0; // queries under way, one inside the other
        int cursors = 0; // declared so far: each gets a name of its own
    };

    Session &session()
    {
        if (!session_)
            connect();
        return *session_;
    }

    void connect()
    {
        auto session = std::make_unique<Session>(address_.conninfo);
        // Text as UTF-8 whatever the server's or the user's defaults. A
        // write waits for another writer's frames (a lock) as long as for a
        // busy file.
        // (A lock_timeout of 0 would wait for ever.)
        std::string settings = "SET client_encoding = 'UTF8'; SET lock_timeout = " +
                               std::to_string(std::max<std::int64_t>(busyTimeout_.count(), 1)) + ";";
        if (readOnly_)
            settings += " SET default_transaction_read_only = on;";
        session->conn.exec(settings);
        session_ = std::move(session);
    }

    // Runs fn on a live connection; a failure becomes an ArchiveError, and a
    // lost connection is dropped so that the next call connects again.
    // `frames`: the size of the batch that fn adds, for the message.
    template <typename Fn> std::invoke_result_t<Fn, Session &> run(const std::string &frames, Fn &&fn)
    {
        const bool connected = session_ != nullptr;
        try {
            return fn(session());
        } catch (const ServerFailure &failure) {
            if (failure.lost || (session_ && session_->conn.lost()))
                session_.reset();
            throw translate(failure, frames, connected || session_);
        }
    }

    ArchiveError translate(const ServerFailure &failure, const std::string &frames, bool connected) const
    {
        const std::string &where = address_.display;
        const std::string message = withoutSecrets(failure.message, address_.secrets);
        const std::string undone =
            frames.empty() ? std::string() : "; none of the last " + frames + " frames was added";
        if (failure.inDoubt)
            return {Reason::Unreachable, where + ": the connection to the server was lost while the last " + frames +
                                             " frames were committed: they may or may not have been added (" + message +
                                             "); adding them again adds what is missing, once"};
        if (failure.lost && !connected)
            return {Reason::Unreachable, where + ": cannot connect to the archive server: " + message + undone};
        if (failure.lost)
            return {Reason::Unreachable, where + ": the connection to the server was lost (" + message + ")" + undone};
        const std::string &state = failure.sqlstate;
        if (state == "53100")
            return {Reason::DiskFull, where + ": the server's disk is full" + undone};
        if (state == "55P03" || state == "40P01")
            return {Reason::Busy, where + ": other writers kept the archive busy for too long" + undone};
        if (state == "42501")
            return {Reason::Denied, where + ": " + message + undone};
        return {Reason::Failed, where + ": " + message + undone};
    }

public:
    PostgresArchive(ServerAddress address, const OpenOptions &options)
        : address_(std::move(address)), readOnly_(options.readOnly), busyTimeout_(options.busyTimeout)
    {
        run({}, [&](Session &session) { setUp(session.conn, options.create && !options.readOnly); });
    }

    const std::string &location() const override { return address_.display; }

    AddCounts add(std::span<const ArchiveFrame> frames, const Origin &origin) override
    {
        if (frames.empty())
            return {};
        if (readOnly_)
            throw ArchiveError(Reason::Failed, address_.display + ": the archive was opened for reading only");
        return run(std::to_string(frames.size()), [&](Session &session) {
            Connection &conn = session.conn;
            if (session.reading > 0)
                throw ArchiveError(Reason::Failed,
                                   address_.display + ": frames cannot be added from within a query of the archive");
            if (!session.staged) {
                createStage(conn);
                session.staged = true;
            }
            AddCounts counts;
            Transaction transaction(conn);
            const std::string source = archiveText(origin.source, TextFrom::Name);
            const std::string station = archiveText(origin.station, TextFrom::Name);
            conn.exec("INSERT INTO sources (source, station) VALUES ($1, $2) ON CONFLICT DO NOTHING",
                      {source, station});
            // A statement of its own: it sees the row of a writer that
            // added the same source at the same moment and committed first.
            const Result id = conn.exec("SELECT id FROM sources WHERE source = $1 AND station = $2", {source, station});
            const std::string sourceId(textOf(id.get(), 0, 0));
            // Every transaction takes the rows it waits for in one order (new
            // T1 frames by key, heard ones by id, then T2's alike), so
            // stations that add the same frames at once wait for each other
            // but never deadlock.
            for (const FrameKind kind : {FrameKind::T1, FrameKind::T2}) {
                const std::uint64_t staged = stage(conn, kind, frames);
                if (staged == 0)
                    continue;
                KindCounts &kindCounts = counts.of(kind);
                const Result inserted = conn.exec(insertFramesSql(kind, sourceId), {station});
                const char *rows = PQcmdTuples(inserted.get());
                std::from_chars(rows, rows + std::strlen(rows), kindCounts.added);
                kindCounts.present = staged - kindCounts.added;
                if (kindCounts.present > 0)
                    conn.exec(addStationSql(kind), {station});
            }
            // Last: the one row every writer updates is held only while committing.
            if (counts.t1.added + counts.t2.added > 0)
                conn.exec("UPDATE halcyra_archive SET changes = changes + 1");
            transaction.commit();
            return counts;
        });
    }

    void forEachRecord(FrameKind kind, const TimeRange &range, const RecordVisitor &visit) override
    {
        visitRecords(kind, rangeSql(range, "f.received_utc") + " ORDER BY f.received_utc NULLS FIRST, f.id", visit);
    }

    void forEachRecordById(FrameKind kind, std::int64_t firstId, std::int64_t lastId,
                           const RecordVisitor &visit) override
    {
        visitRecords(kind,
                     " WHERE f.id BETWEEN " + std::to_string(firstId) + " AND " + std::to_string(lastId) +
                         " ORDER BY f.id",
                     visit);
    }

    std::vector<FieldSample> fieldSeries(int fieldIndex, const TimeRange &range) override
    {
        if (fieldIndex < 0 || fieldIndex >= kFieldCount)
            throw std::invalid_argument("no field " + std::to_string(fieldIndex));
        const FrameKind kind = storeOf(fieldIndex);
        // Every record: the table read straight through and sorted here
        // costs the server a scan instead of a sort on disk, or a walk along
        // the time index. A range takes the index.
        const bool everything = !range.since && !range.until;
        struct Sample {
            std::optional<UtcMillis> received;
            std::int64_t id;
            double value;
        };
        std::vector<Sample> read;
        run({}, [&](Session &session) {
            read.clear();
            eachSlice(session,
                      "SELECT received_utc, id, " + fieldName(fieldIndex) + " FROM " + std::string(framesTable(kind)) +
                          rangeSql(range, "received_utc") +
                          (everything ? "" : " ORDER BY received_utc NULLS FIRST, id"),
                      [&](const PGresult *slice, int row) {
                          read.push_back({receivedOf(slice, row, 0), int8Of(slice, row, 1), float8Of(slice, row, 2)});
                          return true;
                      });
        });
        if (everything) {
            std::sort(read.begin(), read.end(), [](const Sample &a, const Sample &b) {
                return a.received != b.received ? a.received < b.received : a.id < b.id;
            });
        }
        std::vector<FieldSample> samples;
        samples.reserve(read.size());
        for (const Sample &sample : read)
            samples.push_back({sample.received, sample.value, sample.id});
        return samples;
    }

    std::uint64_t recordCount(FrameKind kind) override
    {
        return run({}, [&](Session &session) {
            return numberOf(session.conn.exec("SELECT count(*) FROM " + std::string(framesTable(kind))).get(), 0, 0);
        });
    }

    std::uint64_t changeMark() override
    {
        // Every batch that adds records counts up one row, in its own
        // transaction: the mark changes exactly when those records can be
        // read, whichever of several writers commits first.
        return run({}, [&](Session &session) {
            return numberOf(session.conn.exec("SELECT changes FROM halcyra_archive").get(), 0, 0);
        });
    }

private:
    // The records of a kind that `whereAndOrder` selects, in its order.
    void visitRecords(FrameKind kind, const std::string &whereAndOrder, const RecordVisitor &visit)
    {
        run({}, [&](Session &session) {
            const int first = firstField(kind);
            const int count = fieldEnd(kind) - first;
            TelemetryRecord record; // the other kind's values stay zero
            std::string hex;
            eachSlice(session,
                      "SELECT f.received_utc, f.frame_time, f.frame, f.damaged, s.source, s.station" +
                          fieldList(kind, "f.") + ", f.id FROM " + std::string(framesTable(kind)) +
                          " AS f JOIN sources AS s ON s.id = f.source_id" + whereAndOrder,
                      [&](const PGresult *slice, int row) {
                          record.FrameTime.assign(frameTimeBytes(textOf(slice, row, 1)));
                          for (int i = 0; i < count; ++i)
                              record.Values[static_cast<std::size_t>(first + i)] = float8Of(slice, row, 6 + i);
                          const std::string_view frame = textOf(slice, row, 2);
                          const bool damaged = PQgetvalue(slice, row, 3)[0] != 0;
                          hex = frameHex(frame, !damaged);
                          return visit(StoredRecord{record, receivedOf(slice, row, 0), hex, textOf(slice, row, 4),
                                                    textOf(slice, row, 5), int8Of(slice, row, 6 + count)});
                      });
        });
    }

    void setUp(Connection &conn, bool mayCreate)
    {
        Transaction transaction(conn);
        // Two programs may find an empty database at the same moment: the
        // one that gets the lock creates the tables, the other finds them.
        if (mayCreate)
            conn.exec("SELECT pg_advisory_xact_lock(" + std::to_string(kApplicationId) + ")");
        std::string names;
        for (const std::string_view name : kArchiveNames)
            names += std::string(names.empty() ? "" : ", ") + "'" + std::string(name) + "'";
        const Result found = conn.exec("SELECT to_regclass('halcyra_archive') IS NOT NULL, "
                                       "(SELECT string_agg(n, ', ') FROM unnest(ARRAY[" +
                                       names +
                                       "]) AS n WHERE to_regclass(n) IS NOT NULL), "
                                       "current_user, current_database(), coalesce(current_schema(), ''), "
                                       "coalesce(has_schema_privilege(current_schema(), 'CREATE'), false)");
        const PGresult *f = found.get();
        const std::string user(textOf(f, 0, 2));
        const std::string database(textOf(f, 0, 3));
        const std::string schema(textOf(f, 0, 4));
        const std::string where = " (database " + database + ")";
        if (textOf(f, 0, 0) == "t") {
            checkArchive(conn, where);
            transaction.commit();
            return;
        }
        if (!PQgetisnull(f, 0, 1)) {
            throw ArchiveError(Reason::NotAnArchive,
                               address_.display + " is not a Halcyra archive" + where +
                                   ": it has tables of another program named like an archive's (" +
                                   std::string(textOf(f, 0, 1)) + ")" + kLeftAlone);
        }
        if (!mayCreate)
            throw ArchiveError(Reason::Missing, address_.display + ": there is no archive in database " + database);
        if (textOf(f, 0, 5) != "t") {
            throw ArchiveError(
                Reason::Denied,
                address_.display + ": there is no archive in database " + database + ", and user " + user +
                    (schema.empty() ? " has no schema to create it in"
                                    : " may not create its tables in schema " + schema +
                                          ": let the database's owner write to it first, or grant CREATE on the "
                                          "schema to " +
                                          user));
        }
        conn.exec(schemaSql());
        transaction.commit();
    }

    void checkArchive(Connection &conn, const std::string &where)
    {
        Result info;
        try {
            conn.exec("SAVEPOINT probe");
            info = conn.exec("SELECT application_id, version FROM halcyra_archive");
            conn.exec("RELEASE SAVEPOINT probe");
        } catch (const ServerFailure &failure) {
            if (failure.lost || failure.sqlstate == "42501")
                throw;
            throw ArchiveError(Reason::NotAnArchive, address_.display + " is not a Halcyra archive" + where +
                                                         ": its table halcyra_archive is another program's" +
                                                         kLeftAlone);
        }
        const PGresult *r = info.get();
        if (PQntuples(r) != 1 || PQgetisnull(r, 0, 0) || PQgetisnull(r, 0, 1))
            throw ArchiveError(Reason::Damaged,
                               address_.display + " is damaged" + where + ": it has no archive version" + kLeftAlone);
        if (numberOf(r, 0, 0) != static_cast<std::uint64_t>(kApplicationId))
            throw ArchiveError(Reason::NotAnArchive, address_.display + " is not a Halcyra archive" + where +
                                                         ": its table halcyra_archive is another program's" +
                                                         kLeftAlone);
        const std::string_view versionText = textOf(r, 0, 1);
        int version = 0;
        std::from_chars(versionText.data(), versionText.data() + versionText.size(), version);
        if (version > kSchemaVersion)
            throw ArchiveError(Reason::NewerVersion,
                               address_.display + where + " was written by a newer Halcyra (archive version " +
                                   std::to_string(version) + "; this program knows up to version " +
                                   std::to_string(kSchemaVersion) + ")" + kLeftAlone);
        if (version < 1)
            throw ArchiveError(Reason::Damaged,
                               address_.display + " is damaged" + where + ": it has no archive version" + kLeftAlone);
        // Every column this program reads or writes.
        std::string probe = "SELECT s.id, s.source, s.station";
        for (const FrameKind kind : {FrameKind::T1, FrameKind::T2}) {
            const std::string table(framesTable(kind));
            probe += ", (SELECT count(*) FROM (SELECT id, frame, damaged, received_utc, frame_time, source_id, "
                     "stations" +
                     fieldList(kind, "") + " FROM " + table + " LIMIT 0) AS " + table + ")";
        }
        try {
            conn.exec(probe + " FROM sources AS s LIMIT 0");
        } catch (const ServerFailure &failure) {
            if (failure.lost || failure.sqlstate == "42501")
                throw;
            throw ArchiveError(Reason::Damaged, address_.display + " is damaged" + where +
                                                    ": its tables are not those of a Halcyra archive (" +
                                                    failure.message + ")" + kLeftAlone);
        }
    }

    void createStage(Connection &conn)
    {
        for (const FrameKind kind : {FrameKind::T1, FrameKind::T2}) {
            // Ids are drawn from the archive's own sequence as the frames are
            // staged, in the order they came, although they go into the table
            // in the key's order.
            const Result sequence =
                conn.exec("SELECT pg_get_serial_sequence('" + std::string(framesTable(kind)) + "', 'id')");
            std::string sql = "CREATE TEMP TABLE " + std::string(stageTable(kind)) +
                              " (\n"
                              "    id bigint NOT NULL DEFAULT nextval(" +
                              conn.quote(textOf(sequence.get(), 0, 0)) +
                              "::regclass),\n"
                              "    frame bytea NOT NULL,\n"
                              "    damaged boolean NOT NULL,\n"
                              "    received_utc timestamptz,\n"
                              "    frame_time text NOT NULL";
            for (int i = firstField(kind); i < fieldEnd(kind); ++i)
                sql += ",\n    " + fieldName(i) + " double precision NOT NULL";
            sql += "\n) ON COMMIT DELETE ROWS";
            conn.exec(sql);
        }
    }

    // Copies the frames of a kind into its staging table with the server's
    // bulk path; returns how many.
    std::uint64_t stage(Connection &conn, FrameKind kind, std::span<const ArchiveFrame> frames)
    {
        std::uint64_t staged = 0;
        CopyBuffer copy;
        const int first = firstField(kind);
        const int fields = fieldEnd(kind) - first;
        for (const ArchiveFrame &frame : frames) {
            if (frame.kind != kind)
                continue;
            ++staged;
            copy.row(4 + fields);
            const FrameKey key = frameKey(frame.payloadText());
            copy.bytes(key.view());
            copy.boolean(!key.binary);
            // As the file store: an instant beyond the years text can write has no receive time.
            if (frame.received && formatUtc(*frame.received))
                copy.int8((*frame.received - kPostgresEpoch) * 1000);
            else
                copy.null();
            copy.bytes(archiveText(frame.record.FrameTime.view(), TextFrom::Log));
            for (int i = 0; i < fields; ++i)
                copy.float8(frame.record.Values[static_cast<std::size_t>(first + i)]);
        }
        if (staged == 0)
            return 0;
        std::string columns = "frame, damaged, received_utc, frame_time" + fieldList(kind, "");
        conn.copyIn("COPY pg_temp." + std::string(stageTable(kind)) + " (" + columns + ") FROM STDIN (FORMAT binary)",
                    copy.finish());
        return staged;
    }

    static std::string insertFramesSql(FrameKind kind, const std::string &sourceId)
    {
        // In the key's order; the first of equal frames in a batch is kept.
        return "INSERT INTO " + std::string(framesTable(kind)) +
               " (id, frame, damaged, received_utc, frame_time, source_id, stations" + fieldList(kind, "") +
               ")\nSELECT id, frame, damaged, received_utc, frame_time, " + sourceId + ", ARRAY[$1::text]" +
               fieldList(kind, "") + " FROM pg_temp." + std::string(stageTable(kind)) + "\nORDER BY " + leadName(kind) +
               ", frame, damaged, id ON CONFLICT DO NOTHING";
    }

    // The station joins the frames it heard that others added first. Each
    // staged frame is looked up in the key's index, whatever the planner
    // would guess of a staging table it knows nothing about (a frame that
    // has the station already gives NULL, which matches nothing); the frames
    // that lack it are locked in the order of their ids, and checked again
    // once locked.
    static std::string addStationSql(FrameKind kind)
    {
        const std::string table(framesTable(kind));
        const std::string lead = leadName(kind);
        return "WITH heard AS (SELECT f.id FROM " + table + " AS f WHERE f.id = ANY (ARRAY(SELECT (SELECT g.id FROM " +
               table + " AS g WHERE g." + lead + " = s." + lead +
               " AND g.frame = s.frame AND g.damaged = s.damaged AND NOT $1::text = ANY (g.stations)) FROM pg_temp." +
               std::string(stageTable(kind)) +
               " AS s))\n"
               "AND NOT $1::text = ANY (f.stations) ORDER BY f.id FOR UPDATE OF f)\n"
               "UPDATE " +
               table + " AS f SET stations = f.stations || $1::text FROM heard WHERE f.id = heard.id";
    }

    // Runs the query in a read transaction through a cursor, a slice of rows
    // at a time in binary: a query of every record holds little memory.
    // row(slice, index) returns false to stop. A visitor may query again:
    // the inner query reads in the outer one's transaction, cursor of its own.
    template <typename Row> void eachSlice(Session &session, const std::string &query, Row &&row)
    {
        Connection &conn = session.conn;
        std::optional<Transaction> transaction;
        if (session.reading == 0)
            transaction.emplace(conn, "BEGIN READ ONLY");
        const std::string cursor = "halcyra_rows" + std::to_string(++session.cursors);
        ++session.reading;
        struct Done {
            int &reading;
            ~Done() { --reading; }
        } done{session.reading};
        conn.exec("DECLARE " + cursor + " NO SCROLL CURSOR FOR " + query);
        const std::string fetch = "FETCH FORWARD " + std::to_string(kFetchRows) + " FROM " + cursor;
        for (bool more = true; more;) {
            const Result slice = conn.exec(fetch, {}, true);
            const int rows = PQntuples(slice.get());
            for (int i = 0; more && i < rows; ++i)
                more = row(slice.get(), i);
            more = more && rows == kFetchRows;
        }
        conn.exec("CLOSE " + cursor);
        if (transaction)
            transaction->commit();
    }

    ServerAddress address_;
    bool readOnly_;
    std::chrono::milliseconds busyTimeout_;
    std::unique_ptr<Session> session_;
};

} // namespace

std::unique_ptr<Archive> openPostgresArchive(const std::string &uri, const OpenOptions &options)
{
    return std::make_unique<PostgresArchive>(parseAddress(uri), options);
}

} // namespace halcyra::archive
