// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "logbuffer.h"

#include "scan.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace halcyra {

namespace {

// Undo keeps the text of the edits it can take back up to this much; older
// edits are forgotten first. The newest edit is always kept, however large:
// Ctrl+Z after clearing a pasted week brings it back.
constexpr std::size_t kUndoBytes = 64u << 20;

} // namespace

LogBytes::~LogBytes()
{
    std::free(data_);
}

void LogBytes::reserve(std::size_t capacity)
{
    if (capacity <= capacity_)
        return;
    // Pages never written cost nothing, so the spare room is generous.
    const std::size_t room = std::max(capacity, capacity_ + capacity_ / 2);
    auto *grown = static_cast<char *>(std::realloc(data_, room));
    if (!grown)
        throw std::bad_alloc();
    data_ = grown;
    capacity_ = room;
}

void LogBytes::resize(std::size_t size)
{
    reserve(size);
    size_ = size;
}

void LogBytes::replace(std::size_t at, std::size_t removed, std::string_view text)
{
    assert(at <= size_ && removed <= size_ - at);
    const std::size_t size = size_ - removed + text.size();
    reserve(size);
    const std::size_t tail = size_ - at - removed;
    if (tail > 0 && removed != text.size())
        std::memmove(data_ + at + text.size(), data_ + at + removed, tail);
    if (!text.empty())
        std::memcpy(data_ + at, text.data(), text.size());
    size_ = size;
}

void LogBytes::swap(LogBytes &other) noexcept
{
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
}

std::size_t LogBuffer::lineEnd(std::size_t line) const
{
    const std::string_view t = text();
    if (line + 1 >= starts_.size())
        return t.size();
    std::size_t end = starts_[line + 1] - 1;
    if (t[end] == '\n' && end > starts_[line] && t[end - 1] == '\r')
        --end;
    return end;
}

std::size_t LogBuffer::lineOf(std::size_t position) const
{
    return static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), position) - starts_.begin()) - 1;
}

std::size_t LogBuffer::lineLength(std::size_t line) const
{
    return (line + 1 < starts_.size() ? starts_[line + 1] : text_.size()) - starts_[line];
}

void LogBuffer::measureAll()
{
    longest_ = 0;
    for (std::size_t line = 0; line < starts_.size(); ++line)
        longest_ = std::max(longest_, lineLength(line));
}

void LogBuffer::replace(std::size_t at, std::size_t removed, std::string_view text, Kind kind)
{
    assert(at <= text_.size() && removed <= text_.size() - at);
    Edit edit{at, {}, LogBytes(text)};
    if (at == 0 && removed == text_.size()) {
        // All of it goes (the clear button): undo takes the text itself, not a copy.
        edit.removed.swap(text_);
        edit.whole = true;
        starts_.assign(1, 0);
        longest_ = 0;
        apply(0, 0, text);
    } else {
        edit.removed.append(this->text().substr(at, removed));
        apply(at, removed, text);
    }
    record(std::move(edit), kind);
}

void LogBuffer::setText(LogBytes text)
{
    text_ = std::move(text);
    starts_.assign(1, 0);
    relines(0, 0, text_.size());
    measureAll();
    undo_.clear();
    redo_.clear();
    undoBytes_ = 0;
    typingOpen_ = false;
}

void LogBuffer::append(std::string_view text)
{
    apply(text_.size(), 0, text);
    redo_.clear();
    typingOpen_ = false;
}

LogBuffer::Change LogBuffer::undo()
{
    if (undo_.empty())
        return {};
    Edit edit = std::move(undo_.back());
    undo_.pop_back();
    undoBytes_ -= edit.removed.size() + edit.inserted.size();
    const Change change{edit.at, edit.removed.size()};
    edit.whole = edit.whole && text_.size() == edit.inserted.size(); // nothing appended since
    if (edit.whole)
        swapText(edit.removed); // keeps what it takes back, a copy of `inserted`, for redo
    else
        apply(edit.at, edit.inserted.size(), edit.removed.view());
    redo_.push_back(std::move(edit));
    typingOpen_ = false;
    return change;
}

LogBuffer::Change LogBuffer::redo()
{
    if (redo_.empty())
        return {};
    Edit edit = std::move(redo_.back());
    redo_.pop_back();
    const Change change{edit.at, edit.inserted.size()};
    if (edit.whole)
        swapText(edit.removed);
    else
        apply(edit.at, edit.removed.size(), edit.inserted.view());
    undoBytes_ += edit.removed.size() + edit.inserted.size();
    undo_.push_back(std::move(edit));
    trimUndo();
    typingOpen_ = false;
    return change;
}

void LogBuffer::swapText(LogBytes &other)
{
    text_.swap(other);
    starts_.assign(1, 0);
    relines(0, 0, text_.size());
    measureAll();
}

void LogBuffer::apply(std::size_t at, std::size_t removed, std::string_view text)
{
    // Typing and appending only make lines longer or split one: the lines
    // they touch are measured. Whatever removes bytes, or splits the longest
    // line, measures them all again (a few hundred microseconds for a week).
    const bool all = removed > 0 || lineLength(lineOf(at)) == longest_;
    text_.replace(at, removed, text);
    relines(at, removed, text.size());
    if (all) {
        measureAll();
        return;
    }
    for (std::size_t line = lineOf(at), last = lineOf(at + text.size()); line <= last; ++line)
        longest_ = std::max(longest_, lineLength(line));
}

void LogBuffer::relines(std::size_t at, std::size_t removed, std::size_t added)
{
    // A line starts after an LF, and after a CR that no LF follows. So a start
    // depends on the byte before it and the byte at it: the starts before `at`
    // stand, those beyond the old changed bytes only move, and the ones in
    // between are looked for again in the new bytes.
    const std::string_view t = text();
    const auto isStart = [t](std::size_t q) {
        const char before = t[q - 1];
        return before == '\n' || (before == '\r' && (q == t.size() || t[q] != '\n'));
    };
    std::vector<std::size_t> found;
    const std::size_t end = at + added;
    for (std::size_t i = at > 0 ? at - 1 : 0; i < end;) {
        i += detail::findEither(t.data() + i, end - i, '\n', '\r');
        if (i == end)
            break;
        if (i + 1 >= at && isStart(i + 1))
            found.push_back(i + 1);
        ++i;
    }
    const auto first = std::lower_bound(starts_.begin() + 1, starts_.end(), at);
    const auto last = std::upper_bound(first, starts_.end(), at + removed);
    for (auto p = last; p != starts_.end(); ++p)
        *p = *p - removed + added;
    const auto from = first - starts_.begin();
    if (static_cast<std::size_t>(last - first) == found.size()) {
        std::copy(found.begin(), found.end(), first);
    } else {
        starts_.erase(first, last);
        starts_.insert(starts_.begin() + from, found.begin(), found.end());
    }
}

void LogBuffer::record(Edit edit, Kind kind)
{
    redo_.clear();
    const bool merges = kind == Kind::Typing && typingOpen_ && !undo_.empty() && edit.removed.empty() &&
                        undo_.back().at + undo_.back().inserted.size() == edit.at;
    undoBytes_ += edit.removed.size() + edit.inserted.size();
    if (merges)
        undo_.back().inserted.append(edit.inserted.view());
    else
        undo_.push_back(std::move(edit));
    typingOpen_ = kind == Kind::Typing;
    trimUndo();
}

void LogBuffer::trimUndo()
{
    while (undoBytes_ > kUndoBytes && undo_.size() > 1) {
        undoBytes_ -= undo_.front().removed.size() + undo_.front().inserted.size();
        undo_.pop_front();
    }
}

} // namespace halcyra
