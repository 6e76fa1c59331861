// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Writes a synthetic packet log to standard output.

#include "loggen.h"
#include "passlog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void usage(FILE *to)
{
    std::fputs("usage: halcyra-genlog [--t1 N] [--t2 N] [--seed S] [--plain] [--lf]\n"
               "       halcyra-genlog --days N [--seed S]\n"
               "  --t1 N, --t2 N  number of frames of each kind (default 24)\n"
               "  --days N        a station's passes over N days instead, several a day\n"
               "  --seed S        random seed (default 1)\n"
               "  --plain         no time stamps, variations or noise lines\n"
               "  --lf            end lines with LF instead of CR LF\n",
               to);
}

} // namespace

int main(int argc, char **argv)
{
    halcyra::loggen::Options o;
    int days = 0;
    for (int i = 1; i < argc; ++i) {
        const char *a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(a, "--t1") && hasValue) {
            o.t1Frames = std::atoi(argv[++i]);
        } else if (!std::strcmp(a, "--t2") && hasValue) {
            o.t2Frames = std::atoi(argv[++i]);
        } else if (!std::strcmp(a, "--seed") && hasValue) {
            o.seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (!std::strcmp(a, "--days") && hasValue) {
            days = std::atoi(argv[++i]);
        } else if (!std::strcmp(a, "--plain")) {
            o.timeStamps = o.variations = o.noise = false;
        } else if (!std::strcmp(a, "--lf")) {
            o.lineEnd = "\n";
        } else if (!std::strcmp(a, "--help")) {
            usage(stdout);
            return 0;
        } else {
            usage(stderr);
            return 2;
        }
    }
    const std::string log =
        days > 0 ? halcyra::loggen::generatePassLog({days, o.seed}) : halcyra::loggen::generateLog(o);
    std::fwrite(log.data(), 1, log.size(), stdout);
    return 0;
}
