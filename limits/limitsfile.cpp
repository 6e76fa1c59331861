// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// The limits file, TOML: one table per field, named by its archive column.

#include "fieldlimits.h"

#include "columns.h"
#include "fields.h"

#include <toml++/toml.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace halcyra {

namespace {

inline constexpr std::int64_t kMostPersistence = 1'000'000;

struct Problem {
    int line = 0;
    int column = 0;
    std::string reason;
};

// Checks the whole file and keeps the fault that comes first in it, so that
// the user is sent to the top of the file whatever the order of the checks.
class Reader {
public:
    void root(const toml::table &root);

    std::optional<Problem> problem;
    std::array<FieldLimits, kFieldCount> fields{};

private:
    void fault(const toml::source_region &at, std::string reason);
    void group(FrameKind kind, const toml::table &fields);
    void field(const std::string &name, std::vector<int> indices, const toml::key &key, const toml::node &node);
    FieldLimits limitsOf(const std::string &name, const toml::table &table);
    void bound(const std::string &name, const toml::key &key, const toml::node &value, FieldLimits &limits);
    void setting(const std::string &name, const toml::key &key, const toml::node &value, FieldLimits &limits);
    void checkOrder(const std::string &name, const FieldLimits &limits, const std::array<const toml::key *, 4> &keys);

    // The table that named each field, for a second one.
    std::array<std::optional<std::pair<std::string, const toml::key *>>, kFieldCount> namedAt_{};
};

bool before(const toml::source_region &a, const toml::source_region &b)
{
    return a.begin.line < b.begin.line || (a.begin.line == b.begin.line && a.begin.column < b.begin.column);
}

void Reader::fault(const toml::source_region &at, std::string reason)
{
    const int line = static_cast<int>(at.begin.line);
    const int column = static_cast<int>(at.begin.column);
    if (!problem || line < problem->line || (line == problem->line && column < problem->column))
        problem = Problem{line, column, std::move(reason)};
}

std::string inQuotes(std::string_view text)
{
    return "'" + std::string(text) + "'";
}

std::optional<FrameKind> groupKind(std::string_view key)
{
    if (key == "t1" || key == "T1")
        return FrameKind::T1;
    if (key == "t2" || key == "T2")
        return FrameKind::T2;
    return std::nullopt;
}

void Reader::root(const toml::table &root)
{
    for (const auto &[key, node] : root) {
        const toml::table *sub = node.as_table();
        if (const std::optional<FrameKind> kind = groupKind(key.str()); sub && kind)
            group(*kind, *sub);
        else
            field(std::string(key.str()), fieldsNamed(key.str()), key, node);
    }
}

// [t1.uptime] and [t2.uptime]: the columns of one kind of frame.
void Reader::group(FrameKind kind, const toml::table &fields)
{
    const std::string prefix = kind == FrameKind::T1 ? "t1." : "t2.";
    for (const auto &[key, node] : fields)
        field(prefix + std::string(key.str()), fieldsNamed(key.str(), kind), key, node);
}

void Reader::field(const std::string &name, std::vector<int> indices, const toml::key &key, const toml::node &node)
{
    if (indices.empty())
        return fault(key.source(), "unknown field " + inQuotes(name) +
                                       "; a table is named by a field's archive column, such as [batt1_volt]");
    if (indices.size() > 1)
        return fault(key.source(), inQuotes(name) + " is a field of T1 and of T2: name the table [t1." + name +
                                       "] or [t2." + name + "]");
    const toml::table *table = node.as_table();
    if (!table)
        return fault(key.source(), inQuotes(name) + " must be a table of limits, such as [" + name + "]");
    const auto index = static_cast<std::size_t>(indices.front());
    if (namedAt_[index]) {
        // The table that comes later in the file is the one in fault.
        const auto &[firstName, firstKey] = *namedAt_[index];
        const bool earlier = before(key.source(), firstKey->source());
        return fault(earlier ? firstKey->source() : key.source(), "[" + (earlier ? firstName : name) + "] names " +
                                                                      fieldColumn(FieldCatalogue[index].caption) +
                                                                      " a second time");
    }
    namedAt_[index] = {name, &key};
    fields[index] = limitsOf(name, *table);
}

FieldLimits Reader::limitsOf(const std::string &name, const toml::table &table)
{
    FieldLimits limits;
    std::array<const toml::key *, 4> keys{};
    for (const auto &[key, value] : table) {
        std::size_t b = 0;
        while (b < keys.size() && key.str() != limitBoundName(static_cast<LimitBound>(b)))
            ++b;
        if (b < keys.size()) {
            keys[b] = &key;
            bound(name, key, value, limits);
        } else {
            setting(name, key, value, limits);
        }
    }
    checkOrder(name, limits, keys);
    return limits;
}

void Reader::bound(const std::string &name, const toml::key &key, const toml::node &value, FieldLimits &limits)
{
    double number = 0;
    if (const auto *i = value.as_integer())
        number = static_cast<double>(i->get());
    else if (const auto *f = value.as_floating_point())
        number = f->get();
    else
        return fault(value.source(), std::string(key.str()) + " of [" + name + "] must be a number");
    if (!std::isfinite(number))
        return fault(value.source(), std::string(key.str()) + " of [" + name + "] must be a finite number");
    std::size_t b = 0;
    while (key.str() != limitBoundName(static_cast<LimitBound>(b)))
        ++b;
    limits.bounds[b] = number;
}

void Reader::setting(const std::string &name, const toml::key &key, const toml::node &value, FieldLimits &limits)
{
    const std::string of = std::string(key.str()) + " of [" + name + "]";
    if (key.str() == "persistence") {
        const auto *frames = value.as_integer();
        if (!frames || frames->get() < 1 || frames->get() > kMostPersistence)
            return fault(value.source(),
                         of + " must be a whole number of frames from 1 to " + std::to_string(kMostPersistence));
        limits.persistence = static_cast<std::uint32_t>(frames->get());
    } else if (key.str() == "enabled") {
        const auto *enabled = value.as_boolean();
        if (!enabled)
            return fault(value.source(), of + " must be true or false");
        limits.enabled = enabled->get();
    } else {
        fault(key.source(), "unknown key " + inQuotes(key.str()) + " in [" + name +
                                "]; the keys are red_low, yellow_low, yellow_high, red_high, persistence and enabled");
    }
}

// The shortest text that reads back as the value, as the user would write it.
std::string numberText(double value)
{
    std::array<char, 32> text{};
    return {text.data(), std::to_chars(text.data(), text.data() + text.size(), value).ptr};
}

// The bounds that are there rise from red_low through yellow_low and
// yellow_high to red_high; equal bounds are allowed. A red bound inside its
// yellow one, or a low bound above a high one, would make one value two
// states. The fault is put at the second bound of the pair.
void Reader::checkOrder(const std::string &name, const FieldLimits &limits,
                        const std::array<const toml::key *, 4> &keys)
{
    std::size_t last = keys.size();
    for (std::size_t b = 0; b < keys.size(); ++b) {
        if (!keys[b] || !std::isfinite(limits.bounds[b]))
            continue;
        if (last < keys.size() && limits.bounds[b] < limits.bounds[last]) {
            const std::string_view lower = limitBoundName(static_cast<LimitBound>(last));
            const std::string_view higher = limitBoundName(static_cast<LimitBound>(b));
            return fault(keys[b]->source(),
                         std::string(higher) + " " + numberText(limits.bounds[b]) + " of [" + name + "] is below " +
                             std::string(lower) + " " + numberText(limits.bounds[last]) +
                             "; the bounds must rise from red_low through yellow_low and yellow_high to red_high");
        }
        last = b;
    }
}

// The whole file, or a LimitsError that says why not.
std::string readWhole(const std::string &path)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error)
        throw LimitsError(path, 0, 0, "cannot be read: " + error.message());
    if (std::filesystem::is_directory(status))
        throw LimitsError(path, 0, 0, "is a folder, not a limits file");
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        throw LimitsError(path, 0, 0, std::string("cannot be read: ") + std::strerror(errno));
    std::string text(kLimitsFileSizeLimit + 1, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file.get()));
    if (std::ferror(file.get()))
        throw LimitsError(path, 0, 0, std::string("cannot be read: ") + std::strerror(errno));
    if (text.size() > kLimitsFileSizeLimit)
        throw LimitsError(path, 0, 0, "is larger than 1 MiB, far beyond any limits file");
    return text;
}

} // namespace

Limits Limits::fromText(std::string_view text, std::string_view name)
{
    toml::table root;
    try {
        root = toml::parse(text);
    } catch (const toml::parse_error &e) {
        const auto &at = e.source().begin;
        throw LimitsError(std::string(name), static_cast<int>(at.line), static_cast<int>(at.column),
                          std::string(e.description()));
    }
    Reader reader;
    reader.root(root);
    if (reader.problem)
        throw LimitsError(std::string(name), reader.problem->line, reader.problem->column, reader.problem->reason);
    Limits limits;
    limits.fields_ = reader.fields;
    return limits;
}

Limits Limits::fromFile(const std::string &path)
{
    return fromText(readWhole(path), path);
}

} // namespace halcyra
