// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "archive.h"

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace halcyra {

// The main window's archive: opened on first use and kept open. A file
// archive may be deleted or replaced while the window holds it open (the
// user removes it, a backup is restored); SQLite would go on writing into
// the file nobody can reach any more, and its frames would be gone at exit.
// So before each write the path is looked at again, and when it no longer
// names the file opened (its device and inode) that one is let go and the
// archive now there is opened, or created.
class HeldArchive final : public archive::Archive {
public:
    HeldArchive(std::string location, const archive::OpenOptions &options);

    const std::string &location() const override { return display_; }
    archive::AddCounts add(std::span<const archive::ArchiveFrame> frames, const archive::Origin &origin) override;
    void forEachRecord(FrameKind kind, const archive::TimeRange &range, const archive::RecordVisitor &visit) override;
    void forEachRecordById(FrameKind kind, std::int64_t firstId, std::int64_t lastId,
                           const archive::RecordVisitor &visit) override;
    std::vector<archive::FieldSample> fieldSeries(int fieldIndex, const archive::TimeRange &range) override;
    std::uint64_t recordCount(FrameKind kind) override;
    std::uint64_t changeMark() override;

    // From the next use on, the archive at `location`.
    void relocate(std::string location);

    // Why the archive was opened anew since this was last asked, for the
    // user to read; empty when it was not.
    std::string takeNotice() { return std::exchange(notice_, {}); }

private:
    archive::Archive &open();
    archive::Archive &forWriting();

    std::string location_;
    std::string display_;
    archive::OpenOptions options_;
    std::unique_ptr<archive::Archive> archive_;
    std::optional<std::pair<dev_t, ino_t>> file_; // of a file archive, as opened
    std::string notice_;
};

} // namespace halcyra
