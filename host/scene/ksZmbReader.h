// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scene/ksSmartReferenceStash.h"
#include "scene/ksZmbFormat.h"
#include "scenegraph/HandleTypes.h"

#include <QString>

#include <cstdint>
#include <string>

// Reads ".zmb" files (layout in ksZmbFormat.h) without trusting them: the
// header, the table and every checksum are verified before a section is
// decoded, sizes are checked against the caps and the bytes really there
// before anything is allocated, and the scene is built only once the whole
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
    bool readMemory(const std::uint8_t* data, std::size_t size);
    // Reads the header and the metadata section only: cheap on large files.
    bool readMetadataFile(const QString& path);

    const osg::NodeRefPtr& getRoot() const { return m_root; }
    osg::NodeRefPtr takeRoot();
    const ksSmartReferenceStash& getStash() const { return m_stash; }
    const ksZmbMetadata& getMetadata() const { return m_metadata; }
    const std::string& getError() const { return m_error; }

private:
    struct Section {
        std::uint32_t id;
        std::uint32_t flags;
        std::uint64_t storedSize;
        std::uint64_t rawSize;
        std::uint64_t checksum;
        std::uint64_t offset; // of the stored bytes, from the start of the file
    };

    // Bytes that are not cleared when allocated or grown: large buffers are
    // written once, and touching fresh pages twice costs as much as the
    // read itself. Grows in place where the allocator can (mremap).
    class Buffer
    {
    public:
        Buffer() = default;
        Buffer(const Buffer&) = delete;
        Buffer& operator=(const Buffer&) = delete;
        ~Buffer();
        bool resize(std::size_t size);
        std::uint8_t* data() const { return m_data; }
        std::size_t size() const { return m_size; }

    private:
        std::uint8_t* m_data = nullptr;
        std::size_t m_size = 0;
    };

    void reset();
    bool fail(std::string message);
    // Checks magic, version, the table and its checksum; `fileSize` must be
    // the size of the whole file, of which `data` holds at least the table.
    bool readTable(const std::uint8_t* data, std::size_t available, std::uint64_t fileSize);
    bool verifySection(const Section& section, const std::uint8_t* stored);
    bool unpack(const Section& section, const std::uint8_t* stored, Buffer& raw,
                const std::uint8_t*& bytes, std::size_t& size);
    bool decodeMetadata(const std::uint8_t* data, std::size_t size, ksZmbMetadata& out);
    bool decodeStash(const std::uint8_t* data, std::size_t size, ksSmartReferenceStash& out);

    std::vector<Section> m_sections;
    osg::NodeRefPtr m_root;
    ksSmartReferenceStash m_stash;
    ksZmbMetadata m_metadata;
    std::string m_error;
};
