// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "statusline.h"

#include <QLabel>

namespace halcyra {

StatusLine::StatusLine(QLabel *label) : label_(label) {}

void StatusLine::set(Source source, const QString &text)
{
    of(source) = text;
    shown_ = source;
    show(text);
}

void StatusLine::hold(Source source, const QString &text)
{
    if (text == of(source))
        return;
    if (text.isEmpty())
        clear(source);
    else
        set(source, text);
}

void StatusLine::clear(Source source)
{
    // The line may have been emptied or written since by someone else.
    if (shown_ == source && !of(source).isEmpty() && label_->text() == of(source))
        show(QString());
    of(source).clear();
}

void StatusLine::show(const QString &text)
{
    label_->setText(text);
    label_->setToolTip(text); // long paths do not fit the status line
}

} // namespace halcyra
