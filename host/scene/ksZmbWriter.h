// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scene/ksFileResult.h"
#include "scene/ksSmartReferenceStash.h"
#include "scene/ksZmbFormat.h"
#include "scenegraph/HandleTypes.h"

#include <QString>

#include <cstdint>
#include <vector>

class QIODevice;

// Writes a subtree, a stash and metadata as a ".zmb" file (layout in
// ksZmbFormat.h). Sections stream straight to the device, through zstd when
// they are large and a sample of them compresses, and the header is filled
// in last; the output depends only on the content, so writing what was read
// gives the same bytes.
class ksZmbWriter
{
public:
    ksZmbWriter(const osg::NodePtr& root, const ksSmartReferenceStash& stash, const ksZmbMetadata& metadata);

    // zstd level of large sections. The default is one of zstd's fast
    // levels: geometry still shrinks to about two thirds, and a save keeps
    // up with the disk even when other work takes most of the processor
    // (level 1 makes files about a third smaller and takes twice the time).
    static constexpr int DefaultCompressionLevel = -7;
    void setCompressionLevel(int level) { m_level = level; }

    // Writes to `path` through a temporary file that replaces the target
    // only once everything was written and flushed: a failed save leaves the
    // previous file untouched.
    ksFileResult save(const QString& path) const;
    // The whole file's bytes, or none when there is nothing to write.
    std::vector<std::uint8_t> toBytes() const;

    // Recomputes every checksum of a file held in memory, for tools and tests
    // that patch files on purpose. False when the bytes are not laid out as
    // a ".zmb" file (sizes that do not add up).
    static bool resealChecksums(std::vector<std::uint8_t>& bytes);

private:
    // Writes to an open, seekable device at its current position.
    bool write(QIODevice& device, QString& error) const;

    osg::NodePtr m_root;
    const ksSmartReferenceStash& m_stash;
    const ksZmbMetadata& m_metadata;
    int m_level = DefaultCompressionLevel;
};
