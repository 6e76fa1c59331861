// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// The archive's figures on a large log, one run each:
//   halcyra-genlog --t1 500000 --t2 500000 > big.log
//   archive_bench big.log /tmp/bench.sqlite
//   archive_bench big.log postgresql://halcyra@127.0.0.1:5432/bench
// imports the log into a new archive, imports it again (all duplicates),
// then reports the archive's size per frame, the time of opening it to read
// and to write (with the check for damage), the time of a query of one T1
// field over every record and of every T1 record as a CSV line; the peak
// memory is the process's after each step. A file is replaced; a server's
// database must hold no archive yet (createdb bench).
//
//   archive_bench --stations big.log LOCATION
// splits the log into four quarters by lines and lets three stations import
// two neighbouring quarters each at the same time, each with its own
// connection: half the log's frames are heard twice.

#include "archive.h"
#include "csv.h"
#include "importer.h"

#include <pqxx/pqxx>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

using namespace halcyra;

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

archive::AddCounts importFile(archive::Archive &store, const char *path)
{
    std::FILE *in = std::fopen(path, "rb");
    if (!in) {
        std::perror(path);
        std::exit(1);
    }
    archive::ImportOptions options;
    options.origin.source = path;
    archive::LogImporter importer(store, options);
    std::string buffer(64 * 1024, '\0');
    while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), in))
        importer.feed(std::string_view(buffer.data(), n));
    std::fclose(in);
    importer.finish();
    return importer.counts();
}

// Wall time and processor time: on a shared machine the first waits for the others.
struct Timer {
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    double cpu = cpuSeconds();
};

void report(const char *step, const Timer &t, const archive::AddCounts &c)
{
    std::printf("%-10s %6.2f s (cpu %5.2f s)  T1 %llu new, %llu present; T2 %llu new, %llu present; peak %ld KiB\n",
                step, secondsSince(t.wall), cpuSeconds() - t.cpu, static_cast<unsigned long long>(c.t1.added),
                static_cast<unsigned long long>(c.t1.present), static_cast<unsigned long long>(c.t2.added),
                static_cast<unsigned long long>(c.t2.present), peakKiB());
}

long long pragma(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *statement = nullptr;
    long long value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
        value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return value;
}

long long archiveBytes(const std::string &location)
{
    if (archive::isServerLocation(location)) {
        pqxx::connection connection(location);
        pqxx::nontransaction t(connection);
        return t
            .exec1("SELECT sum(pg_total_relation_size(n)) FROM unnest(ARRAY['halcyra_archive', 'sources', "
                   "'t1_frames', 't2_frames']) AS n")[0]
            .as<long long>();
    }
    sqlite3 *db = nullptr;
    sqlite3_open_v2(location.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    const long long bytes = pragma(db, "PRAGMA page_count") * pragma(db, "PRAGMA page_size");
    sqlite3_close(db);
    return bytes;
}

// Three stations at once, each with two neighbouring quarters of the log.
int stations(const char *logPath, const std::string &location)
{
    std::ifstream in(logPath, std::ios::binary);
    std::ostringstream whole;
    whole << in.rdbuf();
    const std::string log = whole.str();
    std::vector<std::size_t> cuts = {0};
    for (int q = 1; q < 4; ++q) {
        const std::size_t at = log.find('\n', log.size() * static_cast<std::size_t>(q) / 4);
        cuts.push_back(at == std::string::npos ? log.size() : at + 1);
    }
    cuts.push_back(log.size());
    const char *names[] = {"north", "east", "south"};
    std::vector<archive::AddCounts> counts(3);
    std::vector<std::string> errors(3);
    const Timer all;
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < 3; ++k) {
        threads.emplace_back([&, k] {
            try {
                auto store = archive::openArchive(location);
                archive::ImportOptions options;
                options.origin = {logPath, names[k]};
                counts[k] =
                    archive::importText(*store, std::string_view(log).substr(cuts[k], cuts[k + 2] - cuts[k]), options)
                        .counts;
            } catch (const archive::ArchiveError &e) {
                errors[k] = e.what();
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    std::printf("stations   %6.2f s (cpu %5.2f s) together; peak %ld KiB\n", secondsSince(all.wall),
                cpuSeconds() - all.cpu, peakKiB());
    int status = 0;
    for (std::size_t k = 0; k < 3; ++k) {
        if (!errors[k].empty()) {
            std::fprintf(stderr, "%s\n", errors[k].c_str());
            status = 1;
        }
        const archive::AddCounts &c = counts[k];
        std::printf("  %-8s T1 %llu new, %llu present; T2 %llu new, %llu present\n", names[k],
                    static_cast<unsigned long long>(c.t1.added), static_cast<unsigned long long>(c.t1.present),
                    static_cast<unsigned long long>(c.t2.added), static_cast<unsigned long long>(c.t2.present));
    }
    return status;
}

// Opening for writing, which checks a file for damage first, against opening to read.
void opening(const std::string &location)
{
    for (const bool readOnly : {true, false}) {
        std::vector<double> walls;
        double cpu = 0;
        for (int run = 0; run < 3; ++run) {
            const Timer open;
            archive::openArchive(location, {.create = false, .readOnly = readOnly});
            walls.push_back(secondsSince(open.wall));
            cpu += cpuSeconds() - open.cpu;
        }
        std::sort(walls.begin(), walls.end());
        std::printf("%-10s %6.3f s, median %.3f s (cpu %5.3f s)  opened %s\n", readOnly ? "open" : "open-write",
                    walls[0], walls[1], cpu / 3, readOnly ? "to read" : "to write, with the damage check");
    }
}

// The reading figures of whatever the archive holds.
void queries(const std::string &location)
{
    opening(location);
    auto store = archive::openArchive(location, {.create = false, .readOnly = true});
    // Five times: the fastest and the median tell the query from the load of a shared machine.
    std::vector<double> walls;
    std::size_t count = 0;
    double cpu = 0;
    for (int run = 0; run < 5; ++run) {
        const Timer query;
        count = store->fieldSeries(17, {}).size(); // Batt1 Volt
        walls.push_back(secondsSince(query.wall));
        cpu += cpuSeconds() - query.cpu;
    }
    std::sort(walls.begin(), walls.end());
    std::printf("query      %6.3f s, median %.3f s (cpu %5.3f s)  %zu samples of batt1_volt; peak %ld KiB\n", walls[0],
                walls[2], cpu / 5, count, peakKiB());

    // What the batch tool's export from the archive does with every T1 record.
    const Timer csv;
    std::string buffer;
    std::size_t lines = 0;
    store->forEachRecord(FrameKind::T1, {}, [&](const archive::StoredRecord &r) {
        appendCsvRecord(buffer, r.record, '.', true);
        if (buffer.size() >= 64 * 1024)
            buffer.clear();
        ++lines;
        return true;
    });
    std::printf("csv        %6.3f s (cpu %5.3f s)  %zu T1 records as CSV lines; peak %ld KiB\n", secondsSince(csv.wall),
                cpuSeconds() - csv.cpu, lines, peakKiB());
}

} // namespace

int main(int argc, char **argv)
{
    const std::string_view mode = argc == 4 || argc == 3 ? argv[1] : "";
    const bool stationsRun = argc == 4 && mode == "--stations";
    const bool queryRun = argc == 3 && mode == "--query";
    if (argc != 3 && !stationsRun) {
        std::fputs("usage: archive_bench [--stations] LOG ARCHIVE (a file is replaced; a server's database must hold "
                   "no archive)\n"
                   "       archive_bench --query ARCHIVE\n",
                   stderr);
        return 2;
    }
    const std::string location = argv[argc - 1];
    try {
        if (queryRun) {
            queries(location);
            return 0;
        }
        if (!archive::isServerLocation(location)) {
            for (const char *suffix : {"", "-wal", "-shm"})
                std::filesystem::remove(location + suffix);
        }
        if (stationsRun)
            return stations(argv[2], location);

        std::uint64_t frames = 0;
        {
            auto store = archive::openArchive(location);
            if (store->recordCount(FrameKind::T1) + store->recordCount(FrameKind::T2) > 0) {
                std::fprintf(stderr, "%s holds records already: give an empty database\n", store->location().c_str());
                return 2;
            }
            const Timer first;
            const archive::AddCounts added = importFile(*store, argv[1]);
            report("import", first, added);
            frames = added.t1.added + added.t2.added;

            const Timer second;
            report("reimport", second, importFile(*store, argv[1]));
        }
        const long long bytes = archiveBytes(location);
        std::printf("size       %lld bytes, %.1f bytes per frame\n", bytes,
                    static_cast<double>(bytes) / static_cast<double>(frames));
        queries(location);
    } catch (const archive::ArchiveError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
