// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "pgconnection.h"

#include "archive.h"

#include <bit>
#include <charconv>
#include <cstdlib>

namespace halcyra::archive::pg {

namespace {

using Reason = ArchiveError::Reason;

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

std::uint64_t bigEndian(const char *bytes, std::size_t size)
{
    std::uint64_t n = 0;
    for (std::size_t i = 0; i < size; ++i)
        n = n << 8 | static_cast<unsigned char>(bytes[i]);
    return n;
}

} // namespace

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

Connection::Connection(const std::string &conninfo) : conn_(PQconnectdb(conninfo.c_str()))
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

Connection::~Connection()
{
    PQfinish(conn_);
}

bool Connection::lost() const
{
    return PQstatus(conn_) != CONNECTION_OK;
}

Result Connection::exec(const std::string &sql)
{
    return check(Result(PQexec(conn_, sql.c_str())));
}

Result Connection::exec(const std::string &sql, std::initializer_list<std::string_view> parameters, bool binary)
{
    std::vector<std::string> copies(parameters.begin(), parameters.end());
    std::vector<const char *> values;
    for (const std::string &p : copies)
        values.push_back(p.c_str());
    return check(Result(PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                                     nullptr, nullptr, binary ? 1 : 0)));
}

void Connection::copyIn(const std::string &sql, std::string_view data)
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

void Connection::commit()
{
    try {
        exec("COMMIT");
    } catch (ServerFailure &failure) {
        failure.inDoubt = failure.lost;
        throw;
    }
}

std::string Connection::quote(std::string_view text) const
{
    char *quoted = PQescapeLiteral(conn_, text.data(), text.size());
    if (!quoted)
        throw ServerFailure{{}, oneLine(PQerrorMessage(conn_)), lost()};
    std::string out(quoted);
    PQfreemem(quoted);
    return out;
}

Result Connection::check(Result result)
{
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        return result;
    fail(result.get());
}

void Connection::fail(const PGresult *result)
{
    ServerFailure failure;
    const char *state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const char *primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    failure.sqlstate = state ? state : "";
    failure.message = oneLine(primary ? primary : PQerrorMessage(conn_));
    failure.lost = lost() || failure.sqlstate.starts_with("08") || failure.sqlstate.starts_with("57P");
    throw failure;
}

Connection::Transaction::Transaction(Connection &connection, const char *begin) : connection_(connection)
{
    connection_.exec(begin);
}

Connection::Transaction::~Transaction()
{
    if (!done_ && !connection_.lost()) {
        try {
            connection_.exec("ROLLBACK");
        } catch (const ServerFailure &) {
            // The connection is dropped on the failure that brought us here.
        }
    }
}

void Connection::Transaction::commit()
{
    done_ = true;
    connection_.commit();
}

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

std::int64_t int8Of(const PGresult *result, int row, int column)
{
    return static_cast<std::int64_t>(bigEndian(PQgetvalue(result, row, column), 8));
}

double float8Of(const PGresult *result, int row, int column)
{
    return std::bit_cast<double>(bigEndian(PQgetvalue(result, row, column), 8));
}

std::optional<UtcMillis> receivedOf(const PGresult *result, int row, int column)
{
    if (PQgetisnull(result, row, column))
        return std::nullopt;
    const std::int64_t micros = int8Of(result, row, column);
    return kPostgresEpoch + (micros >= 0 ? micros / 1000 : -((-micros + 999) / 1000));
}

} // namespace halcyra::archive::pg
