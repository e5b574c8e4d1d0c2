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

// What a read gives, as the ".osb" read's SceneReadResult: the scene, its
// stash and metadata, or none of them and why.
struct ksZmbReadResult {
    osg::NodeRefPtr root; // also null after a read of the metadata alone
    ksSmartReferenceStash stash;
    ksZmbMetadata metadata;
    // Empty when the read succeeded; else what and where ("section SCEN:
    // record 12 (Transform).Matrix: truncated").
    std::string message;

    explicit operator bool() const { return message.empty(); }
};

// Reads ".zmb" files (layout in ksZmbFormat.h) without trusting them: the
// header, the table and every checksum are verified before a section is
// decoded, sizes are checked against the caps, the bytes really there and
// the most a compressed section may unpack to before anything is allocated
// (a file is read whole only once its header and table proved it a project
// file of a size that adds up), and the scene is built only once the whole
// file proved valid. A failed read gives no root, stash or metadata, only
// its message. Reads keep no state.
class ksZmbReader
{
public:
    // `progress`, when given, follows the bytes read of a large file.
    static ksZmbReadResult read(const QString& path, const osg::ReadProgress& progress = {});
    static ksZmbReadResult read(const std::uint8_t* data, std::size_t size);
    // Reads the header and the metadata section only: cheap on large files.
    static ksZmbReadResult readMetadata(const QString& path);

private:
    ksZmbReader();
    ~ksZmbReader();
    ksZmbReader(const ksZmbReader&) = delete;
    ksZmbReader& operator=(const ksZmbReader&) = delete;

    bool readFile(const QString& path, const osg::ReadProgress& progress);
    bool readMetadataFile(const QString& path);
    // Hands over what was read, or the message.
    ksZmbReadResult takeResult();
    // The reading of read(data, size); a buffer of our own may be given back to
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
};
