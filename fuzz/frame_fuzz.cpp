// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// The frame decoder against a reading of each field put together from its
// characters and HexToDec. The first input byte picks the frame kind (bit 0)
// and whether the payload stays hex digits (bit 1 clear), which keeps the
// decoder on its bulk path, or takes the bytes as they come.

#include "check.h"
#include "fields.h"
#include "frame.h"
#include "hex.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace {

using namespace halcyra;

enum class Raw { Word, Signed16, Counter16, Signed32, Low31 };

// Field index, first character (counted from 1) and reading, as the frame
// layouts give them; deliberately not taken from the field catalogue.
struct Piece {
    int field;
    int position;
    Raw raw;
};

constexpr Piece kT2Pieces[] = {
    {32, 3, Raw::Low31},      {33, 11, Raw::Signed32}, {34, 19, Raw::Signed32}, {35, 27, Raw::Word},
    {36, 63, Raw::Signed16},  {37, 67, Raw::Signed16}, {38, 71, Raw::Signed16}, {39, 75, Raw::Counter16},
    {40, 79, Raw::Signed16},  {41, 83, Raw::Signed16}, {42, 87, Raw::Signed16}, {43, 91, Raw::Counter16},
    {44, 95, Raw::Counter16},
};

// Characters `position` and `position` + 1 of the frame.
std::string byteText(const char *frame, int position)
{
    return std::string(frame + position - 1, 2);
}

std::int64_t referenceRaw(const char *frame, int position, Raw raw)
{
    const auto piece = [&](int byte) { return byteText(frame, position + 2 * byte); };
    switch (raw) {
    case Raw::Word:
        return static_cast<std::int64_t>(HexToDec(piece(1))) * 256 + HexToDec(piece(0));
    case Raw::Signed16:
        return HexToDec(piece(1) + piece(0));
    case Raw::Counter16:
        return static_cast<std::uint16_t>(HexToDec(piece(1) + piece(0)));
    case Raw::Signed32:
        return HexToDec(piece(3) + piece(2) + piece(1) + piece(0));
    case Raw::Low31:
        return static_cast<std::uint32_t>(HexToDec(piece(3) + piece(2) + piece(1) + piece(0))) & 0x7FFFFFFFu;
    }
    return 0;
}

void checkField(const char *frame, std::string_view text, const TelemetryRecord &rec, const Piece &piece)
{
    const std::int64_t raw = referenceRaw(frame, piece.position, piece.raw);
    FUZZ_CHECK(readRawField(text, piece.field) == raw);
    const double expected =
        FieldCatalogue[static_cast<std::size_t>(piece.field)].formula.apply(static_cast<double>(raw));
    FUZZ_CHECK(std::memcmp(&rec.Values[static_cast<std::size_t>(piece.field)], &expected, sizeof expected) == 0);
}

std::string upperText(const char *from, std::size_t n)
{
    std::string s(from, n);
    for (char &c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const bool isT2 = data[0] & 1;
    const bool hexOnly = (data[0] & 2) == 0;
    const std::size_t length = isT2 ? kT2FrameLength : kT1FrameLength;

    // Exactly the frame's length on the heap, so that ASan sees any read past it.
    const std::unique_ptr<char[]> frame(new char[length]);
    frame[0] = 'T';
    frame[1] = isT2 ? '2' : '1';
    constexpr char kHexChars[] = "0123456789ABCDEFabcdef";
    for (std::size_t i = 2; i < length; ++i) {
        char c = i - 1 < size ? static_cast<char>(data[i - 1]) : '0';
        if (hexOnly && !isHexDigit(c))
            c = kHexChars[static_cast<unsigned char>(c) % 22];
        frame[i] = c;
    }
    const std::string_view text(frame.get(), length);

    // Values of the other kind and the frame time must come through untouched.
    TelemetryRecord rec;
    for (std::size_t i = 0; i < rec.Values.size(); ++i)
        rec.Values[i] = -static_cast<double>(i) - 0.5;
    rec.FrameTime.assign("10:15");
    const TelemetryRecord before = rec;

    if (!isT2) {
        DecodeT1Frame(text, rec);
        for (int k = 0; k < kFirstT2Field; ++k)
            checkField(frame.get(), text, rec, {k, 3 + 4 * k, Raw::Word});
        for (int i = kFirstT2Field; i < kFieldCount; ++i)
            FUZZ_CHECK(rec.Values[static_cast<std::size_t>(i)] == before.Values[static_cast<std::size_t>(i)]);
    } else {
        const T2RawTexts raw = DecodeT2Frame(text, rec);
        for (const Piece &piece : kT2Pieces)
            checkField(frame.get(), text, rec, piece);
        for (int i = 0; i < kFirstT2Field; ++i)
            FUZZ_CHECK(rec.Values[static_cast<std::size_t>(i)] == before.Values[static_cast<std::size_t>(i)]);
        FUZZ_CHECK(raw.text(0) == upperText(frame.get() + 30, 10));
        FUZZ_CHECK(raw.text(1) == upperText(frame.get() + 40, 10));
        FUZZ_CHECK(raw.text(2) == upperText(frame.get() + 50, 12));
    }
    FUZZ_CHECK(rec.FrameTime == before.FrameTime);
    return 0;
}
