// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "loggen.h"

#include "fields.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

namespace halcyra::loggen {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void appendByte(std::string &out, unsigned byte)
{
    out += kHex[(byte >> 4) & 0xF];
    out += kHex[byte & 0xF];
}

std::uint16_t clampRaw(double raw)
{
    return static_cast<std::uint16_t>(std::lround(std::fmin(65535.0, std::fmax(0.0, raw))));
}

class Generator {
public:
    explicit Generator(const Options &o) : o_(o), rng_(o.seed) {}

    std::string run()
    {
        std::string out;
        out.reserve(static_cast<std::size_t>(o_.t1Frames + o_.t2Frames) * 170 + 256);
        if (o_.noise)
            line(out, "# Halcyra telemetry, 437.255 MHz, 1200 bd AFSK");
        int t1 = 0;
        int t2 = 0;
        while (t1 < o_.t1Frames || t2 < o_.t2Frames) {
            // Roughly one T2 frame after each T1 frame, as during a pass.
            const bool sendT1 = t1 < o_.t1Frames && (t2 >= o_.t2Frames || t1 <= t2);
            seconds_ += 5 + static_cast<int>(rng_() % 20);
            if (seconds_ % 7 == 0 && o_.noise)
                line(out, noise());
            std::string frame = sendT1 ? t1Frame() : t2Frame();
            if (o_.variations)
                vary(frame);
            emit(out, frame);
            (sendT1 ? t1 : t2)++;
        }
        return out;
    }

private:
    void line(std::string &out, const std::string &text)
    {
        out += text;
        out += o_.lineEnd;
    }

    std::string clock(bool withSeconds) const
    {
        const long day = seconds_ % 86400;
        char buffer[16];
        if (withSeconds)
            std::snprintf(buffer, sizeof buffer, "%02ld:%02ld:%02ld", day / 3600, day / 60 % 60, day % 60);
        else
            std::snprintf(buffer, sizeof buffer, "%02ld:%02ld", day / 3600, day / 60 % 60);
        return buffer;
    }

    void emit(std::string &out, const std::string &frame)
    {
        if (!o_.timeStamps) {
            line(out, frame);
            return;
        }
        switch (rng_() % 3) {
        case 0: {
            // Long logs run for months: the date goes on past the end of July.
            using namespace std::chrono;
            const year_month_day date{sys_days{2014y / July / 22} + days{seconds_ / 86400}};
            char buffer[16];
            std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u ", static_cast<int>(date.year()),
                          static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
            line(out, buffer + clock(true) + ".000 UTC");
            line(out, frame);
            break;
        }
        case 1:
            line(out, "[" + clock(true) + "R] " + frame);
            break;
        default:
            line(out, clock(false) + " " + frame);
            break;
        }
    }

    std::string noise()
    {
        static const char *const kNoise[] = {"*** decoder resync ***", "[CRC error, packet dropped]",
                                             "Doppler +2.1 kHz, AOS in progress", "QSL via bureau",
                                             "beacon: HALCYRA QZ7ZQ OK"};
        return kNoise[rng_() % (sizeof kNoise / sizeof *kNoise)];
    }

    void vary(std::string &frame)
    {
        const unsigned pick = rng_() % 8;
        if (pick == 0) {
            // Byte pairs written apart, as some receivers print them.
            std::string spaced = frame.substr(0, 2);
            for (std::size_t i = 2; i < frame.size(); i += 2)
                spaced += " " + frame.substr(i, 2);
            frame = spaced;
        } else if (pick == 1) {
            for (char &c : frame)
                c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
    }

    double jitter(double spread) { return (static_cast<double>(rng_() % 2001) / 1000.0 - 1.0) * spread; }

    std::string t1Frame()
    {
        const double sun = 0.5 + 0.5 * std::sin(static_cast<double>(seconds_) / 900.0);
        std::array<std::uint16_t, 32> w{};
        w[0] = static_cast<std::uint16_t>((uptimeMinutes_ + seconds_ / 60) & 0xFFFF);
        const double cells[3] = {120.0 * sun, 80.0 * (1.0 - sun), 60.0};
        for (int i = 0; i < 3; ++i)
            w[static_cast<std::size_t>(1 + i)] = rawFor(1 + i, cells[i] + jitter(4));
        const double loads[10] = {45, 12, 3, 38, 22, 25, 30, 5, 18, 17};
        for (int i = 0; i < 10; ++i)
            w[static_cast<std::size_t>(4 + i)] = rawFor(4 + i, loads[i] + jitter(2));
        for (int i = 0; i < 3; ++i)
            w[static_cast<std::size_t>(14 + i)] = rawFor(14 + i, 4.2 * sun + 0.4 + jitter(0.05));
        w[17] = rawFor(17, 7.9 + jitter(0.1));
        w[18] = rawFor(18, 7.8 + jitter(0.1));
        for (int i = 19; i <= 26; ++i)
            w[static_cast<std::size_t>(i)] = rawFor(i, 3.3 + jitter(0.04));
        w[27] = rawFor(27, 18.0 + 10.0 * sun + jitter(0.5));
        for (int i = 28; i <= 30; ++i)
            w[static_cast<std::size_t>(i)] = rawFor(i, 3.8 * sun + 0.2 + jitter(0.05));
        w[31] = rawFor(31, 3.1);
        return makeT1Frame(w);
    }

    std::string t2Frame()
    {
        std::array<std::uint8_t, 48> p{};
        // Seconds since 1970 of the same clock the time stamps show, from 2014-07-22 00:00 UTC.
        const std::uint32_t now = 1405987200u + static_cast<std::uint32_t>(seconds_);
        const int drift = static_cast<int>(rng_() % 61) - 30;
        putLe(p, 0, now, 4);
        putLe(p, 4, now - 3600u * (1 + rng_() % 12), 4);
        putLe(p, 8, static_cast<std::uint32_t>(drift), 4);
        putLe(p, 12, static_cast<std::uint32_t>(uptimeMinutes_ + seconds_ / 60) & 0xFFFF, 2);
        for (int i = 14; i < 30; ++i)
            p[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(rng_());
        rxCount_ += 1 + rng_() % 3;
        putLe(p, 30, rawFor(36, -95 + jitter(8)), 2);
        putLe(p, 32, rawFor(37, 21 + jitter(3)), 2);
        putLe(p, 34, rawFor(38, 23 + jitter(3)), 2);
        putLe(p, 36, rxCount_ & 0xFFFF, 2);
        putLe(p, 38, rawFor(40, -110 + jitter(8)), 2);
        putLe(p, 40, rawFor(41, 19 + jitter(3)), 2);
        putLe(p, 42, rawFor(42, 20 + jitter(3)), 2);
        putLe(p, 44, (rxCount_ / 2) & 0xFFFF, 2);
        putLe(p, 46, (rxCount_ / 3) & 0xFFFF, 2);
        return makeT2Frame(p);
    }

    Options o_;
    std::mt19937 rng_;
    long seconds_ = 10 * 3600 + 15 * 60;
    long uptimeMinutes_ = 86400;
    std::uint32_t rxCount_ = 1200;
};

} // namespace

std::uint16_t rawFor(int index, double value)
{
    return clampRaw(FieldCatalogue[static_cast<std::size_t>(index)].formula.rawFor(value));
}

void putLe(std::array<std::uint8_t, 48> &p, int at, std::uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p[static_cast<std::size_t>(at + i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::string makeT1Frame(const std::array<std::uint16_t, 32> &words)
{
    std::string out = "T1";
    for (std::uint16_t w : words) {
        appendByte(out, w & 0xFFu);
        appendByte(out, w >> 8);
    }
    return out;
}

std::string makeT2Frame(const std::array<std::uint8_t, 48> &payload)
{
    std::string out = "T2";
    for (std::uint8_t b : payload)
        appendByte(out, b);
    return out;
}

std::string generateLog(const Options &options)
{
    return Generator(options).run();
}

} // namespace halcyra::loggen
