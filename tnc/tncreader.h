// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "importer.h"
#include "kissdeframer.h"
#include "receivetime.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace halcyra::tnc {

struct TncCounts {
    std::uint64_t telemetry = 0;
    std::uint64_t otherStations = 0; // well-formed frames from any other call
    std::uint64_t otherInfo = 0;     // from the satellite, but no UI frame or no telemetry in it
    std::uint64_t malformed = 0;     // data frames that are no AX.25 frame
};

// KISS bytes in, frames for the archive and the log out.
//
// A telemetry frame is a UI frame from the satellite's call (any SSID) whose
// information field is "T1" or "T2" and the payload: hex text (128 or 96
// digits, blanks allowed) or raw bytes (64 or 48); the lengths tell them
// apart, and both become the same frame, in upper-case hex.
class TncReader {
public:
    // The satellite's call, in any letter case; an SSID given with it
    // ("QZ7ZQ-1") is ignored. Text that no AX.25 address can hold
    // (parseAddressText) would match no frame: std::invalid_argument.
    explicit TncReader(std::string sourceCall = "QZ7ZQ");

    // Calls onTelemetry(const archive::LoggedFrame &) for a telemetry frame
    // (received = `received`, the AX.25 frame carried with it for the
    // archive), and before that, for every well-formed frame,
    // onLogLines(std::string_view) with the text to append to a packet log: a
    // UTC line, then the frame's line, both ended by '\n'. Telemetry reads
    // back from the log as the same frame; any other frame is written as
    // "CALL>DEST,DIGI*: text", which the log's readers count as no frame.
    template <typename OnTelemetry, typename OnLogLines>
    void feed(std::span<const std::uint8_t> bytes, UtcMillis received, OnTelemetry &&onTelemetry,
              OnLogLines &&onLogLines)
    {
        deframer_.feed(bytes, [&](int, std::span<const std::uint8_t> ax25) {
            switch (take(ax25, received)) {
            case Taken::Malformed:
                break;
            case Taken::Telemetry:
                onLogLines(std::string_view(lines_));
                onTelemetry(std::as_const(frame_));
                break;
            case Taken::Other:
                onLogLines(std::string_view(lines_));
                break;
            }
        });
    }

    // The connection was lost: a frame it cut is dropped.
    void reset() { deframer_.reset(); }

    const TncCounts &counts() const { return counts_; }
    const KissDeframer::Counts &kissCounts() const { return deframer_.counts(); }
    const std::string &sourceCall() const { return sourceCall_; }

private:
    enum class Taken : std::uint8_t { Malformed, Telemetry, Other };
    // Fills frame_ and lines_ as the frame asks.
    Taken take(std::span<const std::uint8_t> ax25, UtcMillis received);

    std::string sourceCall_;
    KissDeframer deframer_;
    TncCounts counts_;
    archive::LoggedFrame frame_;
    std::string lines_;
};

} // namespace halcyra::tnc
