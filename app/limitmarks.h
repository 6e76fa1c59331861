// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "fieldlimits.h"
#include "record.h"

#include <QString>

#include <array>

class QRadioButton;
class QLineEdit;

namespace halcyra {

// Shows each value box's limit state without its background, which marks the
// plotted field: green in the box's own black, yellow in dark orange and
// italic, red in red and bold, so that the state does not rest on colour
// alone. Screen readers hear it as the box's description; a field's caption
// tells its limits on hover.
class LimitMarks {
public:
    LimitMarks(const std::array<QLineEdit *, kFieldCount> &boxes,
               const std::array<QRadioButton *, kFieldCount> &captions);

    // The tool tips of the captions; every box green again.
    void setLimits(const Limits &limits);
    // Touches the box only when its state changes: this runs at every keystroke.
    void show(int field, LimitState state);
    LimitState shown(int field) const { return shown_[static_cast<std::size_t>(field)]; }

    static QString description(LimitState state);

private:
    void paint(int field, LimitState state);

    std::array<QLineEdit *, kFieldCount> boxes_;
    std::array<QRadioButton *, kFieldCount> captions_;
    std::array<LimitState, kFieldCount> shown_{};
};

} // namespace halcyra
