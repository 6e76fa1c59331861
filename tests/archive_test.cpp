// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "archive.h"
#include "csv.h"
#include "frame.h"
#include "importer.h"
#include "loggen.h"
#include "parser.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace halcyra;
using archive::ArchiveError;

namespace {

const std::vector<std::string> kT1Columns = {
    "uptime",       "x_cells_curr", "y_cells_curr", "z_cells_curr", "ems_curr",    "cw_bcn_curr", "i2c_bus_curr",
    "mcs_curr",     "comm1_curr",   "comm2_curr",   "adcs_curr",    "payloadcurr", "txs1_curr",   "txs2_curr",
    "x_cells_volt", "y_cells_volt", "z_cells_volt", "batt1_volt",   "batt2_volt",  "ems_volt",    "mcs_volt",
    "comm1_volt",   "comm2_volt",   "adcs_volt",    "payload_volt", "txs1_volt",   "txs2_volt",   "ems_temp",
    "mppt_x_volt",  "mppt_y_volt",  "mppt_z_volt",  "ant_deploy"};
const std::vector<std::string> kT2Columns = {"timestamp",   "last_utc",     "clock_drift",  "uptime",     "comm1_rssi",
                                             "comm1_temp1", "comm1_temp2",  "comm1_rx_cnt", "comm2_rssi", "comm2_temp1",
                                             "comm2_temp2", "comm2_rx_cnt", "comm2_tx_cnt"};

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string &path, std::string_view text)
{
    std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::vector<std::string> lines(std::string_view text)
{
    std::vector<std::string> out;
    forEachLine(text, [&](std::string_view line) { out.emplace_back(line); });
    return out;
}

std::string joinLines(const std::vector<std::string> &all, std::size_t from, std::size_t to)
{
    std::string text;
    for (std::size_t i = from; i < to; ++i)
        text += all[i] + "\n";
    return text;
}

FrameCounts countFrames(std::string_view text)
{
    LogScanner scanner;
    forEachLine(text, [&](std::string_view line) { scanner.scan(line, [](auto &&...) {}); });
    return scanner.counts();
}

archive::AddCounts importLog(const std::string &archivePath, std::string_view log, const std::string &source)
{
    auto store = archive::openArchive(archivePath);
    archive::ImportOptions options;
    options.origin.source = source;
    return archive::importText(*store, log, options).counts;
}

// The archive as a user's own tool reads it.
class Sql {
public:
    explicit Sql(const std::string &path) { sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr); }
    ~Sql() { sqlite3_close(db_); }

    // Calls fn(statement) for every row.
    template <typename Fn> void each(const std::string &sql, Fn &&fn)
    {
        sqlite3_stmt *s = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr), SQLITE_OK) << sqlite3_errmsg(db_);
        while (sqlite3_step(s) == SQLITE_ROW)
            fn(s);
        sqlite3_finalize(s);
    }
    std::string text(const std::string &sql)
    {
        std::string value = "(no row)";
        each(sql, [&](sqlite3_stmt *s) {
            const auto *t = sqlite3_column_text(s, 0);
            value = t ? reinterpret_cast<const char *>(t) : "NULL";
        });
        return value;
    }
    long long number(const std::string &sql) { return std::stoll(text(sql)); }

private:
    sqlite3 *db_ = nullptr;
};

struct Child {
    pid_t pid = -1;
    int out = -1; // its standard output

    // The next line it writes, without the line end; empty at the end.
    std::string readLine() const
    {
        std::string line;
        char c;
        while (::read(out, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }
};

struct Finished {
    int status = 0;
    std::string last; // the last line it wrote
};

Finished finish(const Child &child)
{
    Finished run;
    for (std::string line = child.readLine(); !line.empty(); line = child.readLine())
        run.last = line;
    ::waitpid(child.pid, &run.status, 0);
    ::close(child.out);
    return run;
}

// A writer's closing line: T1 added and present, T2 added and present.
std::array<unsigned long long, 4> summaryOf(const std::string &line)
{
    std::array<unsigned long long, 4> n{};
    EXPECT_EQ(std::sscanf(line.c_str(), "t1 %llu %llu t2 %llu %llu", &n[0], &n[1], &n[2], &n[3]), 4) << line;
    return n;
}

Child startWriter(const std::vector<std::string> &args, const std::string &errorFile = "/dev/null")
{
    std::vector<std::string> all = {ARCHIVE_WRITER};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int fds[2];
    EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    Child child;
    EXPECT_EQ(posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    child.out = fds[0];
    return child;
}

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/halcyra-archive-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string path(const std::string &name) const { return dir_ + "/" + name; }

    static std::string generated(int t1, int t2, std::uint32_t seed)
    {
        loggen::Options o;
        o.t1Frames = t1;
        o.t2Frames = t2;
        o.seed = seed;
        return loggen::generateLog(o);
    }

    std::string dir_;
};

TEST_F(ArchiveTest, ViewsHoldTheDocumentedColumnsAndTheWindowsDoubles)
{
    // A damaged frame is kept with its text: the window shows its values too.
    const std::string damaged = "T1" + std::string(124, '0') + "g0?0"; // archived upper case
    const std::string damagedHex = std::string(124, '0') + "G0?0";
    importLog(path("a.sqlite"), generated(300, 200, 3) + damaged + "\n", "gen.log");
    Sql sql(path("a.sqlite"));
    for (const FrameKind kind : {FrameKind::T1, FrameKind::T2}) {
        const bool t1 = kind == FrameKind::T1;
        std::vector<std::string> expected = {"received_utc", "frame_time", "frame_hex", "source", "station"};
        const std::vector<std::string> &fields = t1 ? kT1Columns : kT2Columns;
        expected.insert(expected.end(), fields.begin(), fields.end());
        const int first = t1 ? 0 : kFirstT2Field;
        int rows = 0;
        sql.each(std::string("SELECT * FROM ") + (t1 ? "t1_records" : "t2_records"), [&](sqlite3_stmt *s) {
            ++rows;
            std::vector<std::string> names;
            for (int i = 0; i < sqlite3_column_count(s); ++i)
                names.emplace_back(sqlite3_column_name(s, i));
            ASSERT_EQ(names, expected);
            const std::string hex = reinterpret_cast<const char *>(sqlite3_column_text(s, 2));
            // A frame before the log's first UTC line has no receive time.
            if (sqlite3_column_type(s, 0) != SQLITE_NULL) {
                EXPECT_TRUE(parseUtcText(reinterpret_cast<const char *>(sqlite3_column_text(s, 0))));
            }
            EXPECT_EQ(sqlite3_column_type(s, 4), SQLITE_NULL);
            EXPECT_EQ(hex.size(), t1 ? 128u : 96u);
            if (hex != damagedHex) {
                EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << hex;
            }
            TelemetryRecord record;
            if (t1)
                DecodeT1Frame("T1" + hex, record);
            else
                DecodeT2Frame("T2" + hex, record);
            for (std::size_t i = 0; i < fields.size(); ++i) {
                EXPECT_EQ(sqlite3_column_type(s, static_cast<int>(5 + i)), SQLITE_FLOAT);
                const double stored = sqlite3_column_double(s, static_cast<int>(5 + i));
                EXPECT_EQ(std::bit_cast<std::uint64_t>(stored), std::bit_cast<std::uint64_t>(record.Values[first + i]))
                    << fields[i] << " of " << hex;
            }
        });
        EXPECT_EQ(rows, t1 ? 301 : 200);
    }
    EXPECT_EQ(sql.text("SELECT frame_hex FROM t1_records WHERE frame_hex LIKE '%G0?0'"), damagedHex);
}

TEST_F(ArchiveTest, RecordsComeBackAsTheWindowsCsv)
{
    const std::string log = generated(900, 700, 4);
    importLog(path("a.sqlite"), log, "gen.log");

    auto t1Store = std::make_unique<RecordStore>();
    auto t2Store = std::make_unique<RecordStore>();
    FrameTimeText time;
    RunParseCycle(log, time, *t1Store, *t2Store);
    auto store = archive::openArchive(path("a.sqlite"), {.create = false, .readOnly = true});
    for (const FrameKind kind : {FrameKind::T1, FrameKind::T2}) {
        // The archive orders by receive time, the log by arrival: compare the lines as sets.
        const RecordStore &window = kind == FrameKind::T1 ? *t1Store : *t2Store;
        std::vector<std::string> expected;
        for (int k = 1; k <= window.count; ++k) {
            std::string line;
            appendCsvRecord(line, *window.at(k), '.', true);
            expected.push_back(line);
        }
        std::vector<std::string> archived;
        store->forEachRecord(kind, {}, [&](const archive::StoredRecord &r) {
            std::string line;
            appendCsvRecord(line, r.record, '.', true);
            archived.push_back(line);
            return true;
        });
        std::sort(expected.begin(), expected.end());
        std::sort(archived.begin(), archived.end());
        EXPECT_EQ(archived, expected);
    }
}

TEST_F(ArchiveTest, EachFrameIsArchivedOnceAndTheFirstReceptionStays)
{
    const std::vector<std::string> all = lines(generated(600, 600, 5));
    const std::size_t third = all.size() / 3;
    // The second log overlaps the first by a third, and receives that third
    // again with other stamps; the first repeats its first frame written otherwise.
    std::string first = joinLines(all, 0, 2 * third);
    std::string firstFrame;
    LineParser parser;
    for (std::size_t i = 0; firstFrame.empty(); ++i) {
        if (const LineOutcome out = parser.parse(all[i]); out.frame == LineFrame::T1)
            firstFrame = out.frameText;
    }
    first += "[23:00:00R] " + firstFrame.substr(0, 60) + "  " + firstFrame.substr(60) + "\n";
    const std::string second = "2020-01-01 00:00:00.000 UTC\n" + joinLines(all, third, all.size());
    const FrameCounts inFirst = countFrames(joinLines(all, 0, 2 * third));
    const FrameCounts overlap = countFrames(joinLines(all, third, 2 * third));

    // As the batch tool reads two logs: one text, each file its own source.
    auto store = archive::openArchive(path("a.sqlite"));
    archive::LogImporter importer(*store, {.origin = {.source = "first.log"}});
    importer.feed(first);
    importer.setOrigin({"second.log", ""});
    const archive::AddCounts a = importer.counts();
    EXPECT_EQ(a.t1.added, inFirst.t1Frames);
    EXPECT_EQ(a.t1.present, 1u);
    EXPECT_EQ(a.t2.added, inFirst.t2Frames);
    importer.feed(second);
    importer.finish();
    const archive::AddCounts total = importer.counts();
    EXPECT_EQ(total.t1.present - a.t1.present, overlap.t1Frames);
    EXPECT_EQ(total.t2.present - a.t2.present, overlap.t2Frames);
    EXPECT_EQ(total.t1.added, 600u);
    EXPECT_EQ(total.t2.added, 600u);

    Sql sql(path("a.sqlite"));
    EXPECT_EQ(sql.number("SELECT (SELECT count(*) FROM t1_records) + (SELECT count(*) FROM t2_records)"), 1200);
    EXPECT_EQ(sql.number("SELECT count(*) FROM t1_records WHERE source = 'first.log'"), inFirst.t1Frames);
    EXPECT_EQ(sql.number("SELECT count(*) FROM t2_records WHERE source = 'first.log'"), inFirst.t2Frames);
    EXPECT_NE(sql.text("SELECT frame_time FROM t1_records WHERE frame_hex = upper('" + firstFrame.substr(2) + "')"),
              "23:00");
}

TEST_F(ArchiveTest, QueriesByReceiveTimeThenArchiveOrder)
{
    const auto frame = [](std::uint32_t timestamp) {
        std::array<std::uint8_t, 48> payload{};
        for (int i = 0; i < 4; ++i)
            payload[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(timestamp >> (8 * i));
        return loggen::makeT2Frame(payload);
    };
    // Timestamps name the frames; 5 has the receive time of 2 and came later.
    const std::string log = frame(1) + "\n2014-07-22 10:00:00.000 UTC\n" + frame(2) + "\n[09:00:00R] " + frame(3) +
                            "\n2014-07-23 08:00:00.000 UTC\n" + frame(4) + "\n2014-07-22 10:00:00.000 UTC\n" +
                            frame(0) + "\n";
    importLog(path("a.sqlite"), log, "paste");
    auto store = archive::openArchive(path("a.sqlite"));
    const auto at = [](const char *text) { return parseUtcTime(text); };
    const struct {
        archive::TimeRange range;
        std::vector<double> timestamps;
    } cases[] = {
        {{}, {1, 3, 2, 0, 4}},
        {{at("2014-07-22T09:30"), std::nullopt}, {2, 0, 4}},
        {{std::nullopt, at("2014-07-23")}, {3, 2, 0}},
        {{at("2014-07-22T09:00"), at("2014-07-22T10:00")}, {3}},
    };
    for (const auto &c : cases) {
        std::vector<double> viaRecords;
        std::vector<std::int64_t> recordIds;
        store->forEachRecord(FrameKind::T2, c.range, [&](const archive::StoredRecord &r) {
            viaRecords.push_back(r.record.Values[kFirstT2Field]);
            recordIds.push_back(r.id);
            return true;
        });
        std::vector<double> viaSeries;
        std::vector<std::int64_t> seriesIds;
        for (const archive::FieldSample &s : store->fieldSeries(kFirstT2Field, c.range)) {
            viaSeries.push_back(s.value);
            seriesIds.push_back(s.id);
        }
        EXPECT_EQ(viaRecords, c.timestamps);
        EXPECT_EQ(viaSeries, c.timestamps);
        EXPECT_EQ(seriesIds, recordIds);
    }
    // By id: the order of archiving, whatever the receive times.
    std::vector<double> byId;
    store->forEachRecordById(FrameKind::T2, 2, 4, [&](const archive::StoredRecord &r) {
        byId.push_back(r.record.Values[kFirstT2Field]);
        return true;
    });
    EXPECT_EQ(byId, (std::vector<double>{2, 3, 4}));
}

TEST_F(ArchiveTest, AFollowedLogArchivesTheFramesThatArriveDatedByTheClock)
{
    loggen::Options plain;
    plain.timeStamps = false;
    const std::string before = loggen::generateLog(plain);
    plain.seed = 2;
    const std::string later = loggen::generateLog(plain);
    auto store = archive::openArchive(path("a.sqlite"));
    archive::ImportOptions options;
    options.origin.source = "followed.log";
    options.now = [] { return *parseUtcTime("2014-07-23T00:00:30"); };
    archive::LogImporter importer(*store, options);
    // The text the log held when archiving began, ending in a line still being written.
    importer.skip(before + "[23:59:00R] T1");
    importer.feed(loggen::makeT1Frame({}).substr(2) + "\n");
    importer.flush();
    EXPECT_EQ(importer.counts().t1.added, 1u);
    EXPECT_EQ(store->recordCount(FrameKind::T1), 1u);
    EXPECT_EQ(store->recordCount(FrameKind::T2), 0u);
    // A reader of its own (the History window) sees the frames arrive.
    auto reader = archive::openArchive(path("a.sqlite"), {.create = false, .readOnly = true});
    const std::uint64_t mark = reader->changeMark();
    importer.feed("[00:00:20R] " + later);
    importer.finish();
    EXPECT_NE(reader->changeMark(), mark);
    const FrameCounts arrived = countFrames(later);
    EXPECT_EQ(store->recordCount(FrameKind::T1), 1 + arrived.t1Frames);
    EXPECT_EQ(store->recordCount(FrameKind::T2), arrived.t2Frames);
    Sql sql(path("a.sqlite"));
    // The day before now's: 23:59 is two minutes before now, not a day later.
    EXPECT_EQ(sql.text("SELECT received_utc FROM t1_records WHERE uptime = 0"), "2014-07-22T23:59:00.000Z");
    EXPECT_EQ(sql.text("SELECT max(received_utc) FROM t1_records"), "2014-07-23T00:00:20.000Z");
}

TEST_F(ArchiveTest, AnythingButAnArchiveIsRefusedAndLeftAsItIs)
{
    importLog(path("archive.sqlite"), generated(200, 200, 7), "gen.log");
    const std::string archiveBytes = readFile(path("archive.sqlite"));
    ASSERT_GT(archiveBytes.size(), 16384u);
    const auto foreign = [&](const std::string &name) {
        sqlite3 *db = nullptr;
        sqlite3_open(path(name).c_str(), &db);
        sqlite3_exec(db, "CREATE TABLE notes (text TEXT); INSERT INTO notes VALUES ('x')", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    };
    const auto newer = [&](const std::string &name) {
        writeFile(path(name), archiveBytes);
        Sql(path(name)).text("PRAGMA user_version = 2");
    };
    std::string corrupted = archiveBytes;
    std::fill_n(corrupted.begin() + 100, 200, '\x55');
    std::filesystem::create_directory(path("folder"));

    using R = ArchiveError::Reason;
    const struct {
        std::string name;
        std::function<void()> make;
        R reason;
    } cases[] = {
        {"log.txt", [&] { writeFile(path("log.txt"), "2014-07-22 10:15:30.000 UTC\n" + loggen::makeT1Frame({})); },
         R::NotAnArchive},
        {"notes.db", [&] { foreign("notes.db"); }, R::NotAnArchive},
        {"truncated.sqlite", [&] { writeFile(path("truncated.sqlite"), archiveBytes.substr(0, 3 * 16384)); },
         R::Damaged},
        {"header.sqlite", [&] { writeFile(path("header.sqlite"), archiveBytes.substr(0, 60)); }, R::Damaged},
        {"corrupted.sqlite", [&] { writeFile(path("corrupted.sqlite"), corrupted); }, R::Damaged},
        {"newer.sqlite", [&] { newer("newer.sqlite"); }, R::NewerVersion},
        {"folder", [] {}, R::NotAnArchive},
    };
    for (const auto &c : cases) {
        c.make();
        const std::string before = readFile(path(c.name));
        try {
            archive::openArchive(path(c.name));
            ADD_FAILURE() << c.name << " was opened";
        } catch (const ArchiveError &e) {
            EXPECT_EQ(e.reason(), c.reason) << e.what();
            EXPECT_NE(std::string(e.what()).find(path(c.name)), std::string::npos) << e.what();
        }
        EXPECT_EQ(readFile(path(c.name)), before) << c.name;
        EXPECT_FALSE(std::filesystem::exists(path(c.name) + "-journal")) << c.name;
        EXPECT_FALSE(std::filesystem::exists(path(c.name) + "-wal")) << c.name;
    }
}

TEST_F(ArchiveTest, AnInterruptedImportLeavesWholeBatchesAndTheNextOneCompletesIt)
{
    writeFile(path("big.log"), generated(40'000, 40'000, 8));
    // Killed after its second batch; and with a limit on the size of the
    // files it may write, so that its writes fail part way as on a full disk.
    for (const bool killed : {true, false}) {
        for (const char *suffix : {"", "-wal", "-shm"})
            std::filesystem::remove(path("a.sqlite") + suffix);
        std::vector<std::string> args = {path("a.sqlite"), path("big.log"), "--batch", "2000"};
        if (!killed)
            args.insert(args.end(), {"--max-file-size", "4000000"});
        const Child child = startWriter(args, path("stderr.txt"));
        if (killed) {
            ASSERT_EQ(child.readLine(), "batch");
            ASSERT_EQ(child.readLine(), "batch");
            ::kill(child.pid, SIGKILL);
        }
        const Finished interrupted = finish(child);
        if (killed) {
            ASSERT_TRUE(WIFSIGNALED(interrupted.status)) << "the import ended before it was killed";
        } else {
            EXPECT_EQ(interrupted.status, 1 << 8);
            const std::string message = readFile(path("stderr.txt"));
            EXPECT_TRUE(message.starts_with(path("a.sqlite") + ": ")) << message;
            EXPECT_NE(message.find("none of the last 2000 frames was added"), std::string::npos) << message;
        }
        long long archived = 0;
        {
            Sql sql(path("a.sqlite"));
            EXPECT_EQ(sql.text("PRAGMA integrity_check"), "ok");
            archived = sql.number("SELECT (SELECT count(*) FROM t1_records) + (SELECT count(*) FROM t2_records)");
            EXPECT_GT(archived, 0);
            EXPECT_EQ(archived % 2000, 0);
        }
        const Finished again = finish(startWriter({path("a.sqlite"), path("big.log")}));
        ASSERT_EQ(again.status, 0);
        const std::array<unsigned long long, 4> n = summaryOf(again.last);
        EXPECT_EQ(n[0] + n[1], 40'000u);
        EXPECT_EQ(n[2] + n[3], 40'000u);
        EXPECT_EQ(static_cast<long long>(n[1] + n[3]), archived);
    }
}

TEST_F(ArchiveTest, TwoProgramsWriteOneArchiveAtOnce)
{
    const std::vector<std::string> all = lines(generated(20'000, 20'000, 9));
    const std::size_t third = all.size() / 3;
    writeFile(path("a.log"), joinLines(all, 0, 2 * third));
    writeFile(path("b.log"), joinLines(all, third, all.size()));
    // Both create the archive, then take turns with their batches.
    const Child a = startWriter({path("a.sqlite"), path("a.log"), "--batch", "1000"});
    const Child b = startWriter({path("a.sqlite"), path("b.log"), "--batch", "1000"});
    unsigned long long added = 0;
    unsigned long long seen = 0;
    for (const Finished &run : {finish(a), finish(b)}) {
        EXPECT_EQ(run.status, 0);
        const std::array<unsigned long long, 4> n = summaryOf(run.last);
        added += n[0] + n[2];
        seen += n[0] + n[1] + n[2] + n[3];
    }
    const FrameCounts overlap = countFrames(joinLines(all, third, 2 * third));
    EXPECT_EQ(added, 40'000u);
    EXPECT_EQ(seen, 40'000u + overlap.t1Frames + overlap.t2Frames);
    Sql sql(path("a.sqlite"));
    EXPECT_EQ(sql.text("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(sql.number("SELECT (SELECT count(*) FROM t1_records) + (SELECT count(*) FROM t2_records)"), 40'000);
}

} // namespace
