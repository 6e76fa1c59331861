// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// The sample log against its recorded CSV files, written once and checked by
// hand: every decoding or CSV fault that changes a byte of a real log shows
// here, whichever path (halcyra-decode, the window's store) wrote it.

#include "csv.h"
#include "parser.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using namespace halcyra;
using halcyra::test::readFile;

namespace {

const fs::path kData = HALCYRA_DATA_DIR;

TEST(Reference, HalcyraDecodeWritesTheRecordedFiles)
{
    const fs::path dir = fs::temp_directory_path() / ("halcyra-reference-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string command = std::string(HALCYRA_DECODE) + " --time --t1 '" + (dir / "t1.csv").string() +
                                "' --t2 '" + (dir / "t2.csv").string() + "' '" + (kData / "sample.log").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(readFile(dir / "t1.csv"), readFile(kData / "sample-t1.csv"));
    EXPECT_EQ(readFile(dir / "t2.csv"), readFile(kData / "sample-t2.csv"));
    fs::remove_all(dir);
}

TEST(Reference, TheWindowsStoresHoldTheRecordedRecords)
{
    auto t1 = std::make_unique<RecordStore>();
    auto t2 = std::make_unique<RecordStore>();
    FrameTimeText time;
    RunParseCycle(readFile(kData / "sample.log"), time, *t1, *t2);
    for (const auto &[store, file] : {std::pair{t1.get(), "sample-t1.csv"}, std::pair{t2.get(), "sample-t2.csv"}}) {
        std::string csv;
        appendCsvHeader(csv, true);
        for (int k = 1; k <= store->count; ++k)
            appendCsvRecord(csv, store->records[static_cast<std::size_t>(k)], '.', true);
        EXPECT_EQ(csv, readFile(kData / file)) << file;
    }
}

} // namespace
