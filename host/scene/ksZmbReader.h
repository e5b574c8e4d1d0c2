// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scene/ksSmartReferenceStash.h"
#include "scene/ksZmbFormat.h"
#include "scenegraph/HandleTypes.h"
#include "scenegraph/RegularFile.h"
#include "scenegraph/ZstdUnpack.h"

#include <QString>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Reads ".zmb" files (layout in ksZmbFormat.h) without trusting them: the
// header, the table and every checksum are verified before a section is
// decoded, sizes are checked against the caps, the bytes really there and
// the most a compressed section may unpack to before anything is allocated
// (a file is read whole only once its header and table proved it a project
// file of a size that adds up), and the scene is built only once the whole
// file proved valid. A failed read leaves no root, stash or metadata and
// says why in getError() ("section SCEN: record 12 (Transform).Matrix:
// truncated").
class ksZmbReader
{
public:
    ksZmbReader();
    ~ksZmbReader();
    ksZmbReader(const ksZmbReader&) = delete;
    ksZmbReader& operator=(const ksZmbReader&) = delete;

    bool readFile(const QString& path);
    // Followed by readFile with the bytes read of a large file.
    void setReadProgress(osg::ReadProgress progress) { m_progress = std::move(progress); }
    bool readMemory(const std::uint8_t* data, std::size_t size);
    // Reads the header and the metadata section only: cheap on large files.
    bool readMetadataFile(const QString& path);

    const osg::NodeRefPtr& getRoot() const { return m_root; }
    osg::NodeRefPtr takeRoot();
    const ksSmartReferenceStash& getStash() const { return m_stash; }
    const ksZmbMetadata& getMetadata() const { return m_metadata; }
    const std::string& getError() const { return m_error; }

private:
    // The reading of readMemory; a buffer of our own may be given back to
    // the system as the scene is built from it.
    bool readBuffer(const std::uint8_t* data, std::size_t size, bool ownBuffer);
    struct Section {
        std::uint32_t id;
        std::uint32_t flags;
        std::uint64_t storedSize;
        std::uint64_t rawSize;
        std::uint64_t checksum;
        std::uint64_t offset; // of the stored bytes, from the start of the file
    };

    void reset();
    // Opens the file without blocking and reads and checks its header and
    // table (`head` keeps their bytes); the rest of the file is not read.
    bool openChecked(const QString& path, osg::RegularFile& file, std::vector<std::uint8_t>& head);
    bool fail(std::string message);
    // Checks magic, version, the table and its checksum; `fileSize` must be
    // the size of the whole file, of which `data` holds at least the table.
    bool readTable(const std::uint8_t* data, std::size_t available, std::uint64_t fileSize);
    bool verifySection(const Section& section, const std::uint8_t* stored);
    bool unpack(const Section& section, const std::uint8_t* stored, osg::PageBuffer& raw,
                const std::uint8_t*& bytes, std::size_t& size);
    bool decodeMetadata(const std::uint8_t* data, std::size_t size, ksZmbMetadata& out);
    bool decodeStash(const std::uint8_t* data, std::size_t size, ksSmartReferenceStash& out);

    std::vector<Section> m_sections;
    osg::NodeRefPtr m_root;
    ksSmartReferenceStash m_stash;
    ksZmbMetadata m_metadata;
    std::string m_error;
    osg::ReadProgress m_progress;
};
