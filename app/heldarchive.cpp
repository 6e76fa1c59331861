// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "heldarchive.h"

#include <sys/stat.h>

namespace halcyra {

namespace {

std::optional<std::pair<dev_t, ino_t>> fileAt(const std::string &path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return std::pair{st.st_dev, st.st_ino};
}

} // namespace

HeldArchive::HeldArchive(std::string location, const archive::OpenOptions &options)
    : location_(std::move(location)), display_(archive::displayLocation(location_)), options_(options)
{}

void HeldArchive::relocate(std::string location)
{
    archive_.reset();
    file_.reset();
    location_ = std::move(location);
    display_ = archive::displayLocation(location_);
}

archive::Archive &HeldArchive::open()
{
    if (!archive_) {
        archive_ = archive::openArchive(location_, options_);
        // Looked at after opening: a file replaced in between is caught at the next write.
        if (!archive::isServerLocation(location_))
            file_ = fileAt(location_);
    }
    return *archive_;
}

archive::Archive &HeldArchive::forWriting()
{
    if (archive_ && file_ && fileAt(location_) != file_) {
        archive_.reset();
        file_.reset();
        notice_ = display_ + " was deleted or replaced while open: the frames from now on go into the archive "
                             "there now";
    }
    return open();
}

archive::AddCounts HeldArchive::add(std::span<const archive::ArchiveFrame> frames, const archive::Origin &origin)
{
    return forWriting().add(frames, origin);
}

void HeldArchive::forEachRecord(FrameKind kind, const archive::TimeRange &range, const archive::RecordVisitor &visit)
{
    open().forEachRecord(kind, range, visit);
}

void HeldArchive::forEachRecordById(FrameKind kind, std::int64_t firstId, std::int64_t lastId,
                                    const archive::RecordVisitor &visit)
{
    open().forEachRecordById(kind, firstId, lastId, visit);
}

std::vector<archive::FieldSample> HeldArchive::fieldSeries(int fieldIndex, const archive::TimeRange &range)
{
    return open().fieldSeries(fieldIndex, range);
}

std::uint64_t HeldArchive::recordCount(FrameKind kind)
{
    return open().recordCount(kind);
}

std::uint64_t HeldArchive::changeMark()
{
    return open().changeMark();
}

} // namespace halcyra
