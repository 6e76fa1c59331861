// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <QString>

#include <array>
#include <cstddef>

class QLabel;

namespace halcyra {

// The window's status line. Several parts of the window have something to
// say there; each says it under its own key, so that withdrawing a notice
// that no longer holds never wipes what another part said since.
class StatusLine {
public:
    enum class Source : std::size_t {
        Parse,           // what the log box's frames came to
        Follow,          // why following stopped
        Archive,         // adding to the archive, and an archive opened anew
        ArchiveFollowed, // followed frames the archive has not taken yet
        Export,          // CSV files and exports written
        Screenshot,
        Limits, // a limits file refused, a followed field gone red
    };

    explicit StatusLine(QLabel *label);

    // Shows `text` as what `source` says now, in place of what it said before,
    // also when it is the same again: an export written twice says so twice.
    void set(Source source, const QString &text);
    // For a condition checked again and again: shown only when it differs
    // from what `source` said last, so that a followed log re-parsed every
    // second does not wipe other messages with the same notice. An empty
    // text withdraws the notice.
    void hold(Source source, const QString &text);
    // Withdraws the text of `source` if it is still on show; what others said stays.
    void clear(Source source);

private:
    static constexpr std::size_t kSources = static_cast<std::size_t>(Source::Limits) + 1;

    QString &of(Source source) { return notices_[static_cast<std::size_t>(source)]; }
    void show(const QString &text);

    QLabel *label_;
    std::array<QString, kSources> notices_;
    Source shown_ = Source::Parse;
};

} // namespace halcyra
