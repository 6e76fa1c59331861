// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "limitmarks.h"

#include "limittext.h"

#include <QLineEdit>
#include <QRadioButton>

namespace halcyra {

namespace {

QColor textColour(LimitState state)
{
    switch (state) {
    case LimitState::Red:
        return {192, 0, 0};
    case LimitState::Yellow:
        return {176, 88, 0}; // dark orange: yellow text cannot be read on white
    case LimitState::Green:
        break;
    }
    return Qt::black;
}

} // namespace

LimitMarks::LimitMarks(const std::array<QLineEdit *, kFieldCount> &boxes,
                       const std::array<QRadioButton *, kFieldCount> &captions)
    : boxes_(boxes), captions_(captions)
{}

QString LimitMarks::description(LimitState state)
{
    switch (state) {
    case LimitState::Red:
        return QStringLiteral("Red: beyond a red limit");
    case LimitState::Yellow:
        return QStringLiteral("Yellow: beyond a yellow limit");
    case LimitState::Green:
        break;
    }
    return {};
}

void LimitMarks::setLimits(const Limits &limits)
{
    for (int i = 0; i < kFieldCount; ++i) {
        const FieldLimits &f = limits.field(i);
        // A field without limits keeps the caption's plain face.
        const bool any = f.has(LimitBound::RedLow) || f.has(LimitBound::YellowLow) || f.has(LimitBound::YellowHigh) ||
                         f.has(LimitBound::RedHigh);
        captions_[static_cast<std::size_t>(i)]->setToolTip(
            any ? QStringLiteral("Limits: ") + QString::fromStdString(limitsText(f)) : QString());
        show(i, LimitState::Green);
    }
}

void LimitMarks::show(int field, LimitState state)
{
    if (shown_[static_cast<std::size_t>(field)] != state)
        paint(field, state);
}

void LimitMarks::paint(int field, LimitState state)
{
    QLineEdit *box = boxes_[static_cast<std::size_t>(field)];
    // Only the text's colour and face: the background belongs to the chart selection.
    QPalette pal = box->palette();
    pal.setColor(QPalette::Text, textColour(state));
    box->setPalette(pal);
    QFont font = box->font();
    font.setBold(state == LimitState::Red);
    font.setItalic(state == LimitState::Yellow);
    box->setFont(font);
    box->setAccessibleDescription(description(state));
    shown_[static_cast<std::size_t>(field)] = state;
}

} // namespace halcyra
