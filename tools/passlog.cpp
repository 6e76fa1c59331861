// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "passlog.h"

#include "fields.h"
#include "loggen.h"

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>

namespace halcyra::loggen {

namespace {

constexpr long kFirstDay = 16273; // 2014-07-22, days since 1970
constexpr double kOrbitSeconds = 97 * 60;

class Passes {
public:
    explicit Passes(const PassOptions &o) : o_(o), rng_(o.seed) {}

    std::string run()
    {
        std::string out;
        for (int day = 0; day < o_.days; ++day) {
            // The passes come some minutes earlier each day.
            const long shift = (day * 23L) % 90 * 60;
            for (const long group : {9L * 3600, 20L * 3600 + 40 * 60})
                for (int k = 0; k < 3; ++k) {
                    const long start = (kFirstDay + day) * 86400L + group - shift +
                                       static_cast<long>(k * kOrbitSeconds) + static_cast<long>(rng_() % 300);
                    pass(out, start, 360 + static_cast<long>(rng_() % 360));
                }
        }
        return out;
    }

private:
    double jitter(double spread) { return (static_cast<double>(rng_() % 2001) / 1000.0 - 1.0) * spread; }

    void pass(std::string &out, long start, long length)
    {
        for (long t = start; t < start + length; t += 8 + static_cast<long>(rng_() % 5)) {
            stamp(out, t);
            const double elevation =
                std::sin(std::numbers::pi * static_cast<double>(t - start) / static_cast<double>(length));
            out += (++frames_ % 2 ? t1Frame(t) : t2Frame(t, elevation)) + "\r\n";
        }
    }

    void stamp(std::string &out, long t)
    {
        using namespace std::chrono;
        const year_month_day date{sys_days{days{t / 86400}}};
        const long s = t % 86400;
        char line[48];
        std::snprintf(line, sizeof line, "%04d-%02u-%02u %02ld:%02ld:%02ld.000 UTC\r\n", static_cast<int>(date.year()),
                      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()), s / 3600, s / 60 % 60,
                      s % 60);
        out += line;
    }

    // How much sunlight the panels get: about two thirds of an orbit in sun.
    static double sunlight(long t)
    {
        const double phase = std::fmod(static_cast<double>(t), kOrbitSeconds) / kOrbitSeconds;
        return phase < 0.64 ? std::sin(std::numbers::pi * phase / 0.64) : 0.0;
    }

    std::string t1Frame(long t)
    {
        const double sun = sunlight(t);
        const double phase = std::fmod(static_cast<double>(t), kOrbitSeconds) / kOrbitSeconds;
        // Charging through the sunlit part of the orbit, discharging after it.
        const double charge = phase < 0.64 ? phase / 0.64 : 1.0 - (phase - 0.64) / 0.36;
        const double age = static_cast<double>(t / 86400 - kFirstDay) * 0.002;
        std::array<std::uint16_t, 32> w{};
        w[0] = static_cast<std::uint16_t>((t / 60) & 0xFFFF);
        w[1] = rawFor(1, 120.0 * sun + jitter(3));
        w[2] = rawFor(2, 80.0 * sun * std::fabs(std::cos(phase * 7)) + jitter(3));
        w[3] = rawFor(3, 60.0 * sun + jitter(3));
        const double loads[10] = {45, 12, 3, 38, 22, 25, 30, 5, 18, 17};
        for (int i = 0; i < 10; ++i)
            w[static_cast<std::size_t>(4 + i)] = rawFor(4 + i, loads[i] + jitter(1.5));
        for (int i = 0; i < 3; ++i)
            w[static_cast<std::size_t>(14 + i)] = rawFor(14 + i, 4.2 * sun + 0.3 + jitter(0.03));
        w[17] = rawFor(17, 7.72 + 0.3 * charge - age + jitter(0.008));
        w[18] = rawFor(18, 7.70 + 0.28 * charge - age + jitter(0.008));
        for (int i = 19; i <= 26; ++i)
            w[static_cast<std::size_t>(i)] = rawFor(i, 3.3 + jitter(0.02));
        w[27] = rawFor(27, 12.0 + 14.0 * charge + jitter(0.3));
        for (int i = 28; i <= 30; ++i)
            w[static_cast<std::size_t>(i)] = rawFor(i, 3.8 * sun + 0.2 + jitter(0.03));
        w[31] = rawFor(31, 3.1);
        return makeT1Frame(w);
    }

    std::string t2Frame(long t, double elevation)
    {
        std::array<std::uint8_t, 48> p{};
        rx_ += 1 + rng_() % 2;
        putLe(p, 0, static_cast<std::uint32_t>(t), 4);
        putLe(p, 4, static_cast<std::uint32_t>(t - t % 86400 + 6 * 3600), 4);
        putLe(p, 8, static_cast<std::uint32_t>(static_cast<int>(rng_() % 5) - 2), 4);
        putLe(p, 12, static_cast<std::uint32_t>(t / 60) & 0xFFFF, 2);
        putLe(p, 30, rawFor(36, -122 + 28 * elevation + jitter(2)), 2);
        putLe(p, 32, rawFor(37, 18 + 6 * sunlight(t) + jitter(0.5)), 2);
        putLe(p, 34, rawFor(38, 19 + 6 * sunlight(t) + jitter(0.5)), 2);
        putLe(p, 36, rx_ & 0xFFFF, 2);
        putLe(p, 38, rawFor(40, -128 + 26 * elevation + jitter(2)), 2);
        putLe(p, 40, rawFor(41, 17 + 5 * sunlight(t) + jitter(0.5)), 2);
        putLe(p, 42, rawFor(42, 18 + 5 * sunlight(t) + jitter(0.5)), 2);
        putLe(p, 44, (rx_ / 2) & 0xFFFF, 2);
        putLe(p, 46, (rx_ / 3) & 0xFFFF, 2);
        return makeT2Frame(p);
    }

    PassOptions o_;
    std::mt19937 rng_;
    long frames_ = 0;
    std::uint32_t rx_ = 1200;
};

} // namespace

std::string generatePassLog(const PassOptions &options)
{
    return Passes(options).run();
}

} // namespace halcyra::loggen
