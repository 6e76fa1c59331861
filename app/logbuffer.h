// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halcyra {

// A growing block of bytes in memory of its own. A log of many megabytes sits
// in a mapping of its own, which grows in place (mremap) rather than by a
// copy: the text of a followed week is never held twice, not even for a
// moment as it grows.
class LogBytes {
public:
    LogBytes() = default;
    explicit LogBytes(std::string_view text) { append(text); }
    LogBytes(LogBytes &&other) noexcept { swap(other); }
    LogBytes &operator=(LogBytes &&other) noexcept
    {
        LogBytes(std::move(other)).swap(*this);
        return *this;
    }
    LogBytes(const LogBytes &) = delete;
    LogBytes &operator=(const LogBytes &) = delete;
    ~LogBytes();

    std::string_view view() const { return {data_ ? data_ : "", size_}; }
    char *data() { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    void reserve(std::size_t capacity);
    // Grows to `size` bytes; the new ones are for the caller to fill.
    void resize(std::size_t size);
    void append(std::string_view text) { replace(size_, 0, text); }
    void replace(std::size_t at, std::size_t removed, std::string_view text);
    void swap(LogBytes &other) noexcept;

private:
    char *data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// The log box's text: the log's own bytes, one byte per character, which the
// parse cycle reads in place, with the start of every line for the view and
// the edits for undo. A week of a followed log (50 MB) costs its size, a few
// MB of line starts, and nothing per character beside it.
//
// Lines end as for the parser: at CR LF, at a lone LF and at a lone CR. A text
// that ends with a line end has an empty last line, where the cursor can go;
// an empty text has one empty line.
class LogBuffer {
public:
    // What an undo or redo changed: the caller puts the cursor there.
    struct Change {
        std::size_t at = 0;
        std::size_t length = 0; // of the text now there
    };

    std::string_view text() const { return text_.view(); }
    std::size_t size() const { return text_.size(); }

    std::size_t lineCount() const { return starts_.size(); }
    std::size_t lineStart(std::size_t line) const { return starts_[line]; }
    // Where the line's text ends: before its line end.
    std::size_t lineEnd(std::size_t line) const;
    std::size_t lineOf(std::size_t position) const;
    // Length in bytes of the longest line, its line end counted.
    std::size_t longestLine() const { return longest_; }
    // A position between the CR and the LF of a line end is inside a
    // character; the cursor never stops there.
    bool insideLineEnd(std::size_t position) const
    {
        const std::string_view t = text();
        return position > 0 && position < t.size() && t[position - 1] == '\r' && t[position] == '\n';
    }

    // Replaces `removed` bytes at `at` with `text` as an edit the user can
    // undo. Typing (one edit after another at the end of the previous one)
    // is undone as one.
    enum class Kind { Edit, Typing };
    void replace(std::size_t at, std::size_t removed, std::string_view text, Kind kind = Kind::Edit);
    // Takes a new text (a log opened or read again), which nobody undoes.
    void setText(LogBytes text);
    // Adds the followed file's new bytes at the end. They are the file's, not
    // an edit: undo leaves them, and redo no longer applies after them.
    void append(std::string_view text);

    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    Change undo();
    Change redo();
    // The next typing starts an edit of its own (the cursor moved).
    void endTyping() { typingOpen_ = false; }

private:
    struct Edit {
        std::size_t at;
        LogBytes removed;
        LogBytes inserted;
        // It replaced the whole text (the clear button): undo and redo swap
        // the texts rather than copy them, while nothing came after it.
        bool whole = false;
    };

    void apply(std::size_t at, std::size_t removed, std::string_view text);
    void swapText(LogBytes &other);
    void relines(std::size_t at, std::size_t removed, std::size_t added);
    std::size_t lineLength(std::size_t line) const;
    void measureAll();
    void record(Edit edit, Kind kind);
    void trimUndo();

    LogBytes text_;
    std::vector<std::size_t> starts_{0};
    std::size_t longest_ = 0;
    std::deque<Edit> undo_;
    std::vector<Edit> redo_;
    std::size_t undoBytes_ = 0;
    bool typingOpen_ = false;
};

} // namespace halcyra
