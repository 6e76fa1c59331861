// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace halcyra {

inline constexpr int kFieldCount = 45;
inline constexpr int kLastFieldIndex = kFieldCount - 1;
inline constexpr int kFirstT2Field = 32;
inline constexpr int kStoreCapacity = 1000;

inline constexpr int kT1FrameLength = 130;
inline constexpr int kT2FrameLength = 98;

enum class FrameKind : std::uint8_t { T1, T2 };

// The frame time is at most 27 characters (a UTC line); kept inline so that
// filling a record never allocates on the keystroke path.
class FrameTimeText {
public:
    static constexpr std::size_t kCapacity = 27;

    FrameTimeText() = default;
    explicit FrameTimeText(std::string_view text) { assign(text); }

    void assign(std::string_view text)
    {
        length_ = static_cast<std::uint8_t>(text.size() < kCapacity ? text.size() : kCapacity);
        for (std::size_t i = 0; i < length_; ++i)
            chars_[i] = text[i];
    }
    void clear() { length_ = 0; }

    // ASCII letters upper-cased, as the log's markers are matched.
    void assignUpper(std::string_view text)
    {
        length_ = static_cast<std::uint8_t>(text.size() < kCapacity ? text.size() : kCapacity);
        for (std::size_t i = 0; i < length_; ++i) {
            const char c = text[i];
            chars_[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        }
    }

    std::string_view view() const { return {chars_.data(), length_}; }
    std::string str() const { return std::string(view()); }
    std::size_t size() const { return length_; }
    bool empty() const { return length_ == 0; }

    friend bool operator==(const FrameTimeText &a, const FrameTimeText &b) { return a.view() == b.view(); }
    friend bool operator!=(const FrameTimeText &a, const FrameTimeText &b) { return !(a == b); }

private:
    std::array<char, kCapacity> chars_{};
    std::uint8_t length_ = 0;
};

struct TelemetryRecord {
    std::array<double, kFieldCount> Values{};
    FrameTimeText FrameTime;
};

// Slot 0 is never written: records live in slots 1..count so that a position
// read from the scroll bar (which starts at 1) indexes the store directly.
// Emptying only resets the count; callers must treat slots above it as absent.
struct RecordStore {
    std::array<TelemetryRecord, kStoreCapacity + 1> records{};
    std::int32_t count = 0;

    void clear() { count = 0; }
    bool full() const { return count >= kStoreCapacity; }

    // The caller fills the returned slot; nullptr once the store is full.
    TelemetryRecord *append(const FrameTimeText &frameTime)
    {
        if (full())
            return nullptr;
        TelemetryRecord &slot = records[static_cast<std::size_t>(++count)];
        slot.FrameTime = frameTime;
        return &slot;
    }

    // The record at a position, or nullptr when the position holds no record of
    // the current log (0, beyond the count, or out of range).
    const TelemetryRecord *at(int position) const
    {
        if (position < 1 || position > count)
            return nullptr;
        return &records[static_cast<std::size_t>(position)];
    }
};

} // namespace halcyra
