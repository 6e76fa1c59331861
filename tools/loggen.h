// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace halcyra::loggen {

// Synthetic packet logs for tests, benchmarks and trying the program out. The
// frames carry plausible readings (the decoder's formulas inverted) and the
// lines mix the three time-stamp styles a receiver writes.
struct Options {
    int t1Frames = 24;
    int t2Frames = 24;
    std::uint32_t seed = 1;
    bool timeStamps = true; // UTC lines, "[hh:mm:ssR]" markers and "hh:mm " prefixes
    bool variations = true; // blanks between byte pairs, lower-case tags and digits
    bool noise = true;      // receiver chatter that holds no frame
    const char *lineEnd = "\r\n";
};

std::string generateLog(const Options &options);

// The 16-bit reading that field `index` decodes to about `value`, within 0..65535.
std::uint16_t rawFor(int index, double value);
// `bytes` bytes of `v`, low byte first, into a T2 payload from byte `at`.
void putLe(std::array<std::uint8_t, 48> &p, int at, std::uint32_t v, int bytes);

// Frame texts from raw readings, as the satellite sends them.
std::string makeT1Frame(const std::array<std::uint16_t, 32> &words);
std::string makeT2Frame(const std::array<std::uint8_t, 48> &payload);

} // namespace halcyra::loggen
