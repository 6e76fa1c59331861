// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "tncreader.h"

#include "ax25frame.h"
#include "hex.h"
#include "parser.h"

#include <memory>
#include <stdexcept>

namespace halcyra::tnc {

namespace {

constexpr char kHexUpper[] = "0123456789ABCDEF";

char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Blanks between the digits of a hex payload, and the line end some beacons add.
bool isBlank(std::uint8_t b)
{
    return b == ' ' || b == '\t' || b == '\r' || b == '\n';
}

// The payload after the tag as upper-case hex digits into `out`, which has
// room for `digits`: raw bytes if there are digits / 2 of them, otherwise hex
// text that must have exactly `digits` digits once blanks are dropped.
bool payloadHex(std::span<const std::uint8_t> payload, std::size_t digits, char *out)
{
    if (payload.size() == digits / 2) {
        for (const std::uint8_t b : payload) {
            *out++ = kHexUpper[b >> 4];
            *out++ = kHexUpper[b & 0x0F];
        }
        return true;
    }
    std::size_t n = 0;
    for (const std::uint8_t b : payload) {
        if (isBlank(b))
            continue;
        if (n == digits || !isHexDigit(static_cast<char>(b)))
            return false;
        out[n++] = upper(static_cast<char>(b));
    }
    return n == digits;
}

// Whether a tag "T1"/"T2" starts at `at`, blanks between its letters allowed,
// as the log's readers find one.
bool tagAt(std::span<const std::uint8_t> text, std::size_t at)
{
    if (text[at] != 'T' && text[at] != 't')
        return false;
    std::size_t i = at + 1;
    while (i < text.size() && text[i] == ' ')
        ++i;
    return i < text.size() && (text[i] == '1' || text[i] == '2');
}

// Another station's text on one log line that no reader takes for a frame or
// a time stamp: a tag or a receive marker in it, a byte that is no printable
// ASCII, and '<' itself are written as <XX>.
void appendInfoText(std::string &line, std::span<const std::uint8_t> info)
{
    for (std::size_t i = 0; i < info.size(); ++i) {
        const std::uint8_t b = info[i];
        const bool marker = b == ']' && i > 0 && (info[i - 1] == 'R' || info[i - 1] == 'r');
        if (b < 0x20 || b > 0x7E || b == '<' || marker || tagAt(info, i)) {
            line += '<';
            line += kHexUpper[b >> 4];
            line += kHexUpper[b & 0x0F];
            line += '>';
        } else {
            line += static_cast<char>(b);
        }
    }
}

void appendOtherLine(std::string &lines, const Ax25Frame &frame)
{
    const std::size_t start = lines.size();
    lines += addressText(frame.source);
    lines += '>';
    lines += addressText(frame.destination);
    for (const Ax25Address &digi : frame.digipeaters) {
        lines += ',';
        lines += addressText(digi);
        if (digi.repeated)
            lines += '*';
    }
    if (!frame.isUi()) {
        lines += " [control ";
        lines += kHexUpper[frame.control >> 4];
        lines += kHexUpper[frame.control & 0x0F];
        lines += ']';
    }
    lines += ": ";
    appendInfoText(lines, frame.info);
    // Calls may hold a tag too ("ST1AB"); a line that would still read as a
    // frame is made one character longer than any frame.
    LineParser parser;
    if (parser.parse(std::string_view(lines).substr(start)).frame != LineFrame::None)
        lines += '.';
    lines += '\n';
}

std::string callOf(const std::string &text)
{
    const std::optional<Ax25Address> address = parseAddressText(text);
    if (!address)
        throw std::invalid_argument("\"" + text + "\" is no call of an AX.25 station");
    return address->call;
}

} // namespace

TncReader::TncReader(std::string sourceCall) : sourceCall_(callOf(sourceCall))
{
    lines_.reserve(512);
}

TncReader::Taken TncReader::take(std::span<const std::uint8_t> ax25, UtcMillis received)
{
    const std::optional<Ax25Frame> frame = parseAx25(ax25);
    if (!frame) {
        ++counts_.malformed;
        return Taken::Malformed;
    }
    // The UTC line as the log's readers read it: "2026-12-07 12:00:00.123 UTC".
    lines_.clear();
    frame_.frameTime.clear();
    if (const std::optional<UtcText> utc = formatUtc(received)) {
        lines_.assign(utc->data(), utc->size() - 1);
        lines_[10] = ' ';
        lines_ += " UTC";
        frame_.frameTime.assignUpper(lines_);
        lines_ += '\n';
    }
    if (frame->source.call != sourceCall_) {
        ++counts_.otherStations;
        appendOtherLine(lines_, *frame);
        return Taken::Other;
    }
    const std::span<const std::uint8_t> info = frame->info;
    const bool tagged = frame->isUi() && info.size() >= 2 && info[0] == 'T' && (info[1] == '1' || info[1] == '2');
    const FrameKind kind = tagged && info[1] == '1' ? FrameKind::T1 : FrameKind::T2;
    const auto length = static_cast<std::size_t>(kind == FrameKind::T1 ? kT1FrameLength : kT2FrameLength);
    if (!tagged || !payloadHex(info.subspan(2), length - 2, frame_.text.data() + 2)) {
        ++counts_.otherInfo;
        appendOtherLine(lines_, *frame);
        return Taken::Other;
    }
    ++counts_.telemetry;
    frame_.kind = kind;
    frame_.length = static_cast<std::uint8_t>(length);
    frame_.text[0] = 'T';
    frame_.text[1] = info[1];
    frame_.received = received;
    frame_.ax25 = std::make_shared<const std::vector<std::uint8_t>>(ax25.begin(), ax25.end());
    lines_ += frame_.view();
    lines_ += '\n';
    return Taken::Telemetry;
}

} // namespace halcyra::tnc
