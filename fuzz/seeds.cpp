// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Writes the seed corpus of every fuzz target from the sample log generator:
// halcyra-fuzz-seeds fuzz/corpus

#include "ax25frame.h"
#include "kissdeframer.h"
#include "loggen.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using halcyra::loggen::generateLog;
using halcyra::loggen::Options;

void write(const fs::path &dir, const char *name, const std::string &bytes)
{
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary) << bytes;
}

Options logOptions(int t1, int t2, std::uint32_t seed)
{
    Options o;
    o.t1Frames = t1;
    o.t2Frames = t2;
    o.seed = seed;
    return o;
}

// The payload digits of the first frame with the given tag in a generated log.
std::string payloadOf(const std::string &log, const char *tag)
{
    const std::size_t at = log.find(tag);
    const std::size_t end = log.find_first_of("\r\n", at);
    std::string payload;
    for (char c : log.substr(at + 2, end - at - 2))
        if (c != ' ')
            payload += c;
    return payload;
}

// Hex words, conf.ini and whole frames, from a log's plain frames.
void writeTextSeeds(const fs::path &root, const std::string &t1, const std::string &t2)
{
    const fs::path hex = root / "hex";
    write(hex, "byte", t2.substr(0, 2));
    write(hex, "word", t2.substr(60, 4));
    write(hex, "long", t2.substr(0, 8));
    write(hex, "prefix-0x", "0x" + t2.substr(64, 4));
    write(hex, "prefix-amp-h", "&h" + t2.substr(8, 8));
    write(hex, "too-long", t2.substr(0, 12));

    const fs::path config = root / "config";
    write(config, "full", "# Halcyra decoder settings\r\nIMAGE_PATH = /home/ham/shots/\r\nSCREENSHOT = yes\r\n");
    write(config, "lower-lf", "screenshot=NO\nimage_path=/srv/a=b/\n #not a comment\n");

    // Mode byte: bit 0 picks T2, bit 1 lets the payload hold any byte.
    const fs::path frame = root / "frame";
    write(frame, "t1-hex", std::string(1, '\0') + t1);
    write(frame, "t2-hex", std::string(1, '\1') + t2);
    std::string lowerT1 = t1;
    for (char &c : lowerT1)
        c = static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
    write(frame, "t1-lower", std::string(1, '\2') + lowerT1);
    std::string badT2 = t2;
    badT2[9] = 'G';
    badT2[60] = '\0';
    write(frame, "t2-bad-digits", std::string(1, '\3') + badT2);
}

void writeNumberSeeds(const fs::path &root)
{
    // The bytes of a double as the machine holds it.
    const fs::path numbers = root / "number_text";
    const auto number = [&](const char *name, double value) {
        std::string bytes(sizeof value, '\0');
        std::memcpy(bytes.data(), &value, sizeof value);
        write(numbers, name, bytes);
    };
    number("reading", 91.57508999999999);
    number("uptime-tie", 1.0 / 1440);
    number("carry-to-e15", 999999999999999.5);
    number("below-1e-4", 0.0001 - 1e-20);
    number("negative-e-308", -1e-308);
    number("subnormal", 4e-320);
    number("hundredths-tie", -1.375);
}

void writeLogBoxSeeds(const fs::path &root)
{
    // Edits of the log box: an operation byte, then positions (a byte each)
    // and texts (a length byte, then the bytes; 0x80 to 0x83 stand for
    // characters beyond Latin-1). See log_box_fuzz.cpp for the operations.
    const auto text = [](std::string t) {
        t.resize(std::min<std::size_t>(t.size(), 255));
        return static_cast<char>(t.size()) + t;
    };
    const fs::path logBox = root / "log_box";
    write(logBox, "log-edits",
          '\0' + text(generateLog(logOptions(1, 1, 5))) + "\1\x80" + text("7") + "\2" + text("12") + "\3" + "\4\1" +
              "\5\x83" + "\x0b" + "\7" + text("\r\nT1 00") + "\x0a" + "\x09" + "\x08" + "\x0a");
    write(logBox, "line-ends",
          '\0' + text("T1 00\r\n\r\n\n\r\xa0\x80\x81\x82\x83") + "\1\x40" + text("\r") + "\5\x02" + "\4\0" + "\7" +
              text("\n") + "\6\x10" + text("x\r\ny") + "\x0a");
}

void writeKissSeeds(const fs::path &root, const std::string &t1, const std::string &t2)
{
    // A mode byte (how the stream is cut), then KISS frames as a TNC sends them.
    const fs::path kiss = root / "kiss";
    const auto kissOf = [](const std::string &source, const std::string &info, int port = 0) {
        using namespace halcyra::tnc;
        const std::vector<std::uint8_t> ax25 =
            ax25UiFrame({"CQ", 0}, {source, 3}, {{"WIDE1", 1, true}},
                        std::span(reinterpret_cast<const std::uint8_t *>(info.data()), info.size()));
        const std::vector<std::uint8_t> framed = kissFrame(port, ax25);
        return std::string(framed.begin(), framed.end());
    };
    std::string rawT2 = "T2";
    for (std::size_t i = 0; i + 1 < t2.size(); i += 2)
        rawT2 += static_cast<char>(std::stoi(t2.substr(i, 2), nullptr, 16));
    write(kiss, "telemetry", '\7' + kissOf("QZ7ZQ", "T1" + t1) + kissOf("QZ7ZQ", rawT2, 2));
    write(kiss, "other-stations", '\1' + kissOf("AB1CD", "T1" + t1) + kissOf("QZ7ZQ", "beacon <T1> [12:00:00R]\r"));
    write(kiss, "commands-and-escapes",
          std::string("\x20\xC0\x01\x32\xC0\xC0\xFF\xC0") + kissOf("QZ7ZQ", "T2\xC0\xDB" + rawT2.substr(4)) +
              "\xC0\x00\xDB\x41\xC0");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fputs("usage: halcyra-fuzz-seeds CORPUS_FOLDER\n", stderr);
        return 2;
    }
    const fs::path root = argv[1];

    const fs::path parse = root / "parse_cycle";
    write(parse, "log-crlf", generateLog(logOptions(6, 6, 1)));
    Options lf = logOptions(4, 4, 2);
    lf.lineEnd = "\n";
    write(parse, "log-lf", generateLog(lf));
    Options plain = logOptions(3, 3, 3);
    plain.timeStamps = plain.variations = plain.noise = false;
    write(parse, "log-plain", generateLog(plain));
    write(parse, "log-mixed", generateLog(logOptions(8, 4, 4)));

    // Plain frames carry upper-case digits without blanks.
    const std::string frames = generateLog(plain);
    const std::string t1 = payloadOf(frames, "T1");
    const std::string t2 = payloadOf(frames, "T2");

    writeTextSeeds(root, t1, t2);
    writeNumberSeeds(root);
    writeLogBoxSeeds(root);
    writeKissSeeds(root, t1, t2);
    return 0;
}
