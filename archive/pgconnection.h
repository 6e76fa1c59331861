// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "receivetime.h"

#include <libpq-fe.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A thin layer over libpq for the shared store.
//
// Frames go to the server in COPY's binary format and values come back in
// binary results: a double travels as its eight bytes, bit for bit, and the
// server neither parses nor prints a number.
namespace halcyra::archive::pg {

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

// What libpq is given, and what messages may show of it.
struct ServerAddress {
    std::string display;
    std::string conninfo;
    std::vector<std::string> secrets; // never to appear in a message
};

// Throws ArchiveError when libpq cannot read the URI.
ServerAddress parseAddress(const std::string &uri);

// `text` with every secret long enough to be one blotted out.
std::string withoutSecrets(std::string text, const std::vector<std::string> &secrets);

// One connection to the server; every failure is thrown as a ServerFailure.
class Connection {
public:
    class Transaction;

    explicit Connection(const std::string &conninfo);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool lost() const;

    Result exec(const std::string &sql);
    // Text parameters; results in binary when asked.
    Result exec(const std::string &sql, std::initializer_list<std::string_view> parameters, bool binary = false);

    // Runs a COPY ... FROM STDIN and sends `data`.
    void copyIn(const std::string &sql, std::string_view data);

    // COMMIT, telling a connection lost meanwhile apart: the transaction
    // may have been committed or not.
    void commit();

    std::string quote(std::string_view text) const;

private:
    Result check(Result result);
    [[noreturn]] void fail(const PGresult *result);

    PGconn *conn_;
};

// A transaction that is rolled back unless committed.
class Connection::Transaction {
public:
    explicit Transaction(Connection &connection, const char *begin = "BEGIN");
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    void commit();

private:
    Connection &connection_;
    bool done_ = false;
};

// A value of a result as text, and a text result as a count.
std::string_view textOf(const PGresult *result, int row, int column);
std::uint64_t numberOf(const PGresult *result, int row, int column);

// Binary results: int8, float8 and timestamptz are eight bytes, big-endian.
std::int64_t int8Of(const PGresult *result, int row, int column);
double float8Of(const PGresult *result, int row, int column);

// timestamptz counts microseconds from 2000-01-01 UTC.
inline constexpr UtcMillis kPostgresEpoch = 946'684'800'000;

// A timestamptz of a binary result, rounded down to the millisecond.
std::optional<UtcMillis> receivedOf(const PGresult *result, int row, int column);

} // namespace halcyra::archive::pg
