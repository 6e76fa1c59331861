// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "frame.h"

#include "fields.h"
#include "hex.h"

#include <cassert>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <utility>

namespace halcyra {

namespace {

// Payload byte b sits at frame characters 3 + 2b and 4 + 2b (counted from 1).
inline const char *payloadByte(std::string_view frame, int byte)
{
    return frame.data() + 2 + 2 * byte;
}

// One byte's two digits converted on their own: "1G" is 1, "G1" is 0.
inline std::uint32_t byteValue(const char *p)
{
    const std::uint8_t hi = hexDigitValue(p[0]);
    if (hi == detail::kNotHex)
        return 0;
    const std::uint8_t lo = hexDigitValue(p[1]);
    return lo == detail::kNotHex ? hi : (hi << 4u) | lo;
}

// The digits of a little-endian reading of `bytes` bytes, most significant
// byte first, converted as one text. Going through HexToDec keeps a word with
// stray characters on the same rules as everywhere else: a "0x" or "&H" in
// front is a prefix, and a text cut short after four digits is a 16-bit word.
inline std::int32_t rearranged(const char *p, int bytes)
{
    char text[8];
    for (int i = 0; i < bytes; ++i) {
        text[2 * i] = p[2 * (bytes - 1 - i)];
        text[2 * i + 1] = p[2 * (bytes - 1 - i) + 1];
    }
    return HexToDec(std::string_view(text, static_cast<std::size_t>(2 * bytes)));
}

inline std::int64_t readRaw(const char *p, Reading reading)
{
    switch (reading) {
    case Reading::Word:
        return static_cast<std::int64_t>(byteValue(p + 2) * 256u + byteValue(p));
    case Reading::Signed16:
    case Reading::Signed32:
        return rearranged(p, reading == Reading::Signed16 ? 2 : 4);
    case Reading::Counter16:
        return static_cast<std::uint16_t>(rearranged(p, 2));
    case Reading::Low31:
        return static_cast<std::uint32_t>(rearranged(p, 4)) & 0x7FFFFFFFu;
    }
    return 0;
}

// Readings from payload bytes that are all proper hex digits, the usual case.
inline std::int64_t readRaw(const std::uint8_t *b, Reading reading)
{
    const std::uint32_t word = b[0] | (b[1] << 8u);
    switch (reading) {
    case Reading::Word:
    case Reading::Counter16:
        return word;
    case Reading::Signed16:
        return static_cast<std::int16_t>(word);
    case Reading::Signed32:
    case Reading::Low31: {
        const std::uint32_t v = word | (b[2] << 16u) | (static_cast<std::uint32_t>(b[3]) << 24u);
        return reading == Reading::Signed32 ? static_cast<std::int32_t>(v) : static_cast<std::int64_t>(v & 0x7FFFFFFFu);
    }
    }
    return 0;
}

// Converts the payload to bytes; false when a character is not a hex digit, in
// which case each reading has to stop where its own text stops.
template <int Bytes> bool payloadBytes(std::string_view frame, std::array<std::uint8_t, Bytes> &bytes)
{
    const char *p = frame.data() + 2;
    int i = 0;
#if defined(__SSE2__)
    // 16 digits at a time: value and validity of each, then pairs joined.
    static_assert(Bytes % 8 == 0);
    const __m128i zero = _mm_set1_epi8('0' - 1), nine = _mm_set1_epi8('9' + 1);
    const __m128i a = _mm_set1_epi8('a' - 1), f = _mm_set1_epi8('f' + 1);
    const __m128i caseBit = _mm_set1_epi8(0x20), lowMask = _mm_set1_epi16(0x00FF);
    unsigned valid = 0xFFFF;
    for (; i < Bytes; i += 8) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 2 * i));
        const __m128i isDigit = _mm_and_si128(_mm_cmpgt_epi8(c, zero), _mm_cmplt_epi8(c, nine));
        const __m128i folded = _mm_or_si128(c, caseBit);
        const __m128i isLetter = _mm_and_si128(_mm_cmpgt_epi8(folded, a), _mm_cmplt_epi8(folded, f));
        valid &= static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(isDigit, isLetter)));
        const __m128i value = _mm_or_si128(_mm_and_si128(isDigit, _mm_sub_epi8(c, _mm_set1_epi8('0'))),
                                           _mm_andnot_si128(isDigit, _mm_sub_epi8(folded, _mm_set1_epi8('a' - 10))));
        // Little-endian lanes: the high digit is the low byte of each 16-bit lane.
        const __m128i high = _mm_slli_epi16(_mm_and_si128(value, lowMask), 4);
        const __m128i low = _mm_srli_epi16(value, 8);
        const __m128i packed = _mm_packus_epi16(_mm_or_si128(high, low), _mm_setzero_si128());
        _mm_storel_epi64(reinterpret_cast<__m128i *>(bytes.data() + i), packed);
    }
    return valid == 0xFFFF;
#else
    unsigned bad = 0;
    for (; i < Bytes; ++i) {
        const unsigned hi = hexDigitValue(p[2 * i]);
        const unsigned lo = hexDigitValue(p[2 * i + 1]);
        bad |= hi | lo;
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((hi << 4u) | (lo & 0xFu));
    }
    return (bad & 0xF0u) == 0;
#endif
}

// Each field expands to straight-line code with its reading and formula
// folded in; the arithmetic is the same as the table's.
template <std::size_t First, std::size_t... I>
void decodeClean(const std::uint8_t *bytes, TelemetryRecord &rec, std::index_sequence<I...>)
{
    ((rec.Values[First + I] = FieldCatalogue[First + I].formula.apply(static_cast<double>(
          readRaw(bytes + FieldCatalogue[First + I].byteOffset, FieldCatalogue[First + I].reading)))),
     ...);
}

template <std::size_t First, std::size_t Count, int Bytes>
void decodeFields(std::string_view frame, TelemetryRecord &rec)
{
    std::array<std::uint8_t, Bytes> bytes;
    if (payloadBytes<Bytes>(frame, bytes)) {
        decodeClean<First>(bytes.data(), rec, std::make_index_sequence<Count>{});
        return;
    }
    for (std::size_t i = First; i < First + Count; ++i) {
        const FieldInfo &f = FieldCatalogue[i];
        const std::int64_t raw = readRaw(payloadByte(frame, f.byteOffset), f.reading);
        rec.Values[i] = f.formula.apply(static_cast<double>(raw));
    }
}

template <std::size_t N> void copyUpper(std::array<char, N> &to, const char *from)
{
    for (std::size_t i = 0; i < N; ++i) {
        const char c = from[i];
        to[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
}

} // namespace

void DecodeT1Frame(std::string_view frame, TelemetryRecord &Rec)
{
    assert(frame.size() == kT1FrameLength);
    decodeFields<0, kFirstT2Field, 64>(frame, Rec);
}

T2RawTexts DecodeT2Frame(std::string_view frame, TelemetryRecord &Rec)
{
    assert(frame.size() == kT2FrameLength);
    decodeFields<kFirstT2Field, kFieldCount - kFirstT2Field, 48>(frame, Rec);
    T2RawTexts raw;
    copyUpper(raw.chars, frame.data() + kT2RawTextsFirst);
    return raw;
}

std::int64_t readRawField(std::string_view frame, int fieldIndex)
{
    const FieldInfo &f = FieldCatalogue.at(static_cast<std::size_t>(fieldIndex));
    return readRaw(payloadByte(frame, f.byteOffset), f.reading);
}

} // namespace halcyra
