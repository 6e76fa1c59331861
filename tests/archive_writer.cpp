// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Used by the archive tests only: imports one log into an archive as a
// separate process, so that the tests can kill it, run several at once, cut
// its connection, or limit the size of the files it may write.
//
//   archive_writer ARCHIVE LOG [--batch N] [--station NAME] [--max-file-size BYTES] [--wait]
//
// Prints "batch" after each chunk of the log that committed a batch (with
// --wait, then reads a byte from standard input before it goes on, until
// that ends), and "t1 ADDED PRESENT t2 ADDED PRESENT" at the end. Exit
// status 1 and the message on standard error when the archive fails.

#include "archive.h"
#include "importer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <sys/resource.h>
#include <unistd.h>

using namespace halcyra;

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    archive::ImportOptions options;
    options.origin.source = argv[2];
    bool wait = false;
    for (int i = 3; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--wait") {
            wait = true;
            continue;
        }
        if (i + 1 == argc)
            return 2;
        const char *value = argv[++i];
        if (option == "--station") {
            options.origin.station = value;
        } else if (option == "--batch") {
            options.batchFrames = std::strtoul(value, nullptr, 10);
        } else if (option == "--max-file-size") {
            // A full disk, as the process sees it: writes past the limit fail.
            std::signal(SIGXFSZ, SIG_IGN);
            const rlim_t limit = std::strtoull(value, nullptr, 10);
            const rlimit r{limit, limit};
            setrlimit(RLIMIT_FSIZE, &r);
        } else {
            return 2;
        }
    }
    std::FILE *log = std::fopen(argv[2], "rb");
    if (!log)
        return 2;
    try {
        auto store = archive::openArchive(argv[1]);
        archive::LogImporter importer(*store, options);
        std::string buffer(16 * 1024, '\0');
        std::uint64_t written = 0;
        while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), log)) {
            importer.feed(std::string_view(buffer.data(), n));
            const archive::AddCounts &c = importer.counts();
            if (const std::uint64_t now = c.t1.added + c.t1.present + c.t2.added + c.t2.present; now != written) {
                written = now;
                std::printf("batch\n");
                std::fflush(stdout);
                char go;
                wait = wait && ::read(0, &go, 1) == 1;
            }
        }
        importer.finish();
        const archive::AddCounts &c = importer.counts();
        std::printf("t1 %llu %llu t2 %llu %llu\n", static_cast<unsigned long long>(c.t1.added),
                    static_cast<unsigned long long>(c.t1.present), static_cast<unsigned long long>(c.t2.added),
                    static_cast<unsigned long long>(c.t2.present));
    } catch (const archive::ArchiveError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
