// Licensed under the MIT licence; see LICENSE.
#include "scene/ksZmbReader.h"

#include "scene/ksZmbHash.h"
#include "scenegraph/ByteCursor.h"
#include "scenegraph/Node.h"
#include "scenegraph/RegularFile.h"
#include "scenegraph/SceneDecoder.h"

#include <QFile>

#include <zstd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>


namespace {

std::string sectionName(std::uint32_t id)
{
    std::string name;
    for (int i = 0; i < 4; ++i) {
        const char c = char((id >> (8 * i)) & 0xFF);
        name += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return name;
}

std::uint64_t headerChecksum(const std::uint8_t* header, const std::uint8_t* table, std::size_t tableSize)
{
    std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(), &XXH3_freeState);
    XXH3_64bits_reset(state.get());
    KS_ZMB_XXH3_UPDATE(state.get(), header, ksZmb::ChecksummedHeaderBytes);
    KS_ZMB_XXH3_UPDATE(state.get(), table, tableSize);
    return XXH3_64bits_digest(state.get());
}

// A u32-length string of at most `maxLength` bytes.
bool readString(osg::ByteCursor& cursor, std::uint32_t maxLength, std::string& out)
{
    std::uint32_t length = 0;
    const std::uint8_t* bytes = nullptr;
    if (!cursor.readU32(length) || length > maxLength || !cursor.take(length, bytes))
        return false;
    out.assign(reinterpret_cast<const char*>(bytes), length);
    return true;
}

} // namespace

ksZmbReader::ksZmbReader() = default;
ksZmbReader::~ksZmbReader() = default;

ksZmbReadResult ksZmbReader::read(const QString& path, const osg::ReadProgress& progress)
{
    ksZmbReader reader;
    reader.readFile(path, progress);
    return reader.takeResult();
}

ksZmbReadResult ksZmbReader::read(const std::uint8_t* data, std::size_t size)
{
    ksZmbReader reader;
    reader.readBuffer(data, size, false);
    return reader.takeResult();
}

ksZmbReadResult ksZmbReader::readMetadata(const QString& path)
{
    ksZmbReader reader;
    reader.readMetadataFile(path);
    return reader.takeResult();
}

ksZmbReadResult ksZmbReader::takeResult()
{
    ksZmbReadResult result;
    result.root = std::move(m_root);
    result.stash = std::move(m_stash);
    result.metadata = std::move(m_metadata);
    result.message = std::move(m_error);
    return result;
}

void ksZmbReader::reset()
{
    m_sections.clear();
    m_root = osg::NullFC;
    m_stash.clear();
    m_metadata.clear();
    m_error.clear();
}

bool ksZmbReader::fail(std::string message)
{
    m_error = std::move(message);
    m_root = osg::NullFC;
    m_stash.clear();
    m_metadata.clear();
    return false;
}

bool ksZmbReader::readTable(const std::uint8_t* data, std::size_t available, std::uint64_t fileSize)
{
    osg::ByteCursor cursor(data, available);
    const std::uint8_t* magic = nullptr;
    if (!cursor.take(sizeof ksZmb::Magic, magic))
        return fail("truncated header");
    if (std::memcmp(magic, ksZmb::Magic, sizeof ksZmb::Magic) != 0)
        return fail("not a Talvik project file");
    std::uint16_t major = 0, minor = 0;
    std::uint32_t count = 0;
    std::uint64_t checksum = 0;
    if (!cursor.readU16(major) || !cursor.readU16(minor) || !cursor.readU32(count) || !cursor.readU64(checksum))
        return fail("truncated header");
    if (major != ksZmb::MajorVersion || minor > ksZmb::MinorVersion)
        return fail("version " + std::to_string(major) + "." + std::to_string(minor)
                    + " is not supported (this program reads " + std::to_string(ksZmb::MajorVersion) + "."
                    + std::to_string(ksZmb::MinorVersion) + " and older minor versions)");
    if (count > ksZmb::MaxSections)
        return fail("header: " + std::to_string(count) + " sections (at most "
                    + std::to_string(ksZmb::MaxSections) + ")");
    const std::size_t tableSize = std::size_t(count) * ksZmb::SectionEntrySize;
    const std::uint8_t* table = nullptr;
    if (!cursor.take(tableSize, table))
        return fail("section table: truncated");
    if (headerChecksum(data, table, tableSize) != checksum)
        return fail("header: checksum mismatch");

    osg::ByteCursor entries(table, tableSize);
    std::uint64_t offset = ksZmb::HeaderSize + tableSize;
    for (std::uint32_t i = 0; i < count; ++i) {
        Section s{};
        entries.readU32(s.id);
        entries.readU32(s.flags);
        entries.readU64(s.storedSize);
        entries.readU64(s.rawSize);
        entries.readU64(s.checksum);
        const std::string where = "section " + sectionName(s.id) + ": ";
        if (s.flags & ~ksZmb::KnownFlags)
            return fail(where + "unknown flags");
        if (s.storedSize > fileSize - offset)
            return fail(where + "truncated (" + std::to_string(s.storedSize) + " bytes announced, "
                        + std::to_string(fileSize - offset) + " left)");
        if (!(s.flags & ksZmb::FlagZstd) && s.rawSize != s.storedSize)
            return fail(where + "sizes disagree");
        if (s.rawSize > ksZmb::MaxRawSectionSize)
            return fail(where + "too large");
        if (s.flags & ksZmb::FlagZstd) {
            const std::string problem = osg::checkUnpackedSize(s.storedSize, s.rawSize);
            if (!problem.empty())
                return fail(where + problem);
        }
        for (const Section& earlier : m_sections)
            if (earlier.id == s.id)
                return fail(where + "appears twice");
        s.offset = offset;
        offset += s.storedSize;
        m_sections.push_back(s);
    }
    if (offset != fileSize)
        return fail("file size " + std::to_string(fileSize) + " does not match its sections ("
                    + std::to_string(offset) + " bytes)");
    return true;
}

bool ksZmbReader::verifySection(const Section& section, const std::uint8_t* stored)
{
    if (KS_ZMB_XXH3(stored, std::size_t(section.storedSize)) != section.checksum)
        return fail("section " + sectionName(section.id) + ": checksum mismatch");
    return true;
}

bool ksZmbReader::unpack(const Section& section, const std::uint8_t* stored, osg::PageBuffer& raw,
                         const std::uint8_t*& bytes, std::size_t& size)
{
    if (!(section.flags & ksZmb::FlagZstd)) {
        bytes = stored;
        size = std::size_t(section.storedSize);
        return true;
    }
    std::string error;
    if (!osg::unpackZstdFrame(stored, std::size_t(section.storedSize), section.rawSize, raw, error))
        return fail("section " + sectionName(section.id) + ": " + error);
    bytes = raw.data();
    size = std::size_t(section.rawSize);
    return true;
}

bool ksZmbReader::decodeMetadata(const std::uint8_t* data, std::size_t size, ksZmbMetadata& out)
{
    osg::ByteCursor cursor(data, size);
    std::uint32_t count = 0;
    if (!cursor.readU32(count))
        return fail("section META: truncated");
    if (count > ksZmb::MaxEntries || count > cursor.remaining() / 8)
        return fail("section META: " + std::to_string(count) + " entries do not fit");
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string key, value;
        if (!readString(cursor, ksZmb::MaxNameLength, key))
            return fail("section META: entry " + std::to_string(i) + ": bad key");
        if (!readString(cursor, std::uint32_t(-1), value))
            return fail("section META: entry " + std::to_string(i) + " (" + key + "): truncated value");
        if (!out.empty() && !(out.rbegin()->first < key))
            return fail("section META: entry " + std::to_string(i) + " (" + key + "): keys out of order");
        out.emplace_hint(out.end(), std::move(key), std::move(value));
    }
    if (!cursor.atEnd())
        return fail("section META: trailing bytes");
    return true;
}

bool ksZmbReader::decodeStash(const std::uint8_t* data, std::size_t size, ksSmartReferenceStash& out)
{
    osg::ByteCursor cursor(data, size);
    std::uint32_t count = 0;
    if (!cursor.readU32(count))
        return fail("section STSH: truncated");
    if (count > ksZmb::MaxEntries || count > cursor.remaining() / 12)
        return fail("section STSH: " + std::to_string(count) + " entries do not fit");
    std::string previous;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string name;
        std::uint64_t length = 0;
        const std::uint8_t* bytes = nullptr;
        if (!readString(cursor, ksZmb::MaxNameLength, name))
            return fail("section STSH: entry " + std::to_string(i) + ": bad name");
        if (!cursor.readU64(length) || length > std::uint64_t(std::numeric_limits<int>::max())
            || !cursor.take(length, bytes))
            return fail("section STSH: entry " + std::to_string(i) + " (" + name + "): truncated data");
        if (i > 0 && !(previous < name))
            return fail("section STSH: entry " + std::to_string(i) + " (" + name + "): names out of order");
        out.setEntry(name, QByteArray(reinterpret_cast<const char*>(bytes), int(length)));
        previous = std::move(name);
    }
    if (!cursor.atEnd())
        return fail("section STSH: trailing bytes");
    return true;
}

bool ksZmbReader::readBuffer(const std::uint8_t* data, std::size_t size, bool ownBuffer)
{
    reset();
    if (!readTable(data, size, size))
        return false;
    for (const Section& s : m_sections)
        if (!verifySection(s, data + s.offset))
            return false;

    ksZmbMetadata metadata;
    ksSmartReferenceStash stash;
    const Section* scene = nullptr;
    for (const Section& s : m_sections) {
        if (s.id == ksZmb::SceneSection) {
            scene = &s;
            continue;
        }
        if (s.id != ksZmb::MetadataSection && s.id != ksZmb::StashSection)
            continue; // from a newer minor version
        osg::PageBuffer raw;
        const std::uint8_t* bytes = nullptr;
        std::size_t length = 0;
        if (!unpack(s, data + s.offset, raw, bytes, length))
            return false;
        if (s.id == ksZmb::MetadataSection ? !decodeMetadata(bytes, length, metadata)
                                           : !decodeStash(bytes, length, stash))
            return false;
    }
    if (!scene)
        return fail("no scene section");

    osg::PageBuffer raw;
    const std::uint8_t* bytes = nullptr;
    std::size_t length = 0;
    if (!unpack(*scene, data + scene->offset, raw, bytes, length))
        return false;
    osg::SceneDecoder decoder;
    decoder.requireWholeBuffer(true);
    decoder.requireSingleRoot(&osg::Node::getClassType());
    // The file's own bytes, or the unpacked copy: nothing reads them again.
    decoder.releaseInputAsRead(ownBuffer || bytes != data + scene->offset);
    if (!decoder.decode(bytes, length))
        return fail("section SCEN: " + decoder.getError());
    raw.resize(0);
    m_root = osg::NodeRefPtr::dcast(decoder.getRoots().front());
    m_stash = std::move(stash);
    m_metadata = std::move(metadata);
    return true;
}

bool ksZmbReader::openChecked(const QString& path, osg::RegularFile& file, std::vector<std::uint8_t>& head)
{
    reset();
    if (!file.open(QFile::encodeName(path).toStdString()))
        return fail("cannot open: " + file.getError());
    // The header and the table first: a large file of another kind, or one
    // whose sections do not add up to its size, is refused after one small read.
    const std::uint64_t fileSize = file.size();
    head.resize(std::size_t(std::min<std::uint64_t>(fileSize, ksZmb::HeaderSize)));
    if (!file.read(head.data(), head.size()))
        return fail("read error: " + file.getError());
    if (head.size() == ksZmb::HeaderSize && std::memcmp(head.data(), ksZmb::Magic, sizeof ksZmb::Magic) == 0) {
        std::uint32_t count = 0;
        std::memcpy(&count, head.data() + 12, 4);
        const std::size_t table = std::size_t(std::min(count, ksZmb::MaxSections)) * ksZmb::SectionEntrySize;
        head.resize(ksZmb::HeaderSize + std::size_t(std::min<std::uint64_t>(fileSize - ksZmb::HeaderSize, table)));
        if (!file.read(head.data() + ksZmb::HeaderSize, head.size() - ksZmb::HeaderSize))
            return fail("read error: " + file.getError());
    }
    return readTable(head.data(), head.size(), fileSize);
}

bool ksZmbReader::readFile(const QString& path, const osg::ReadProgress& progress)
{
    osg::RegularFile file;
    std::vector<std::uint8_t> head;
    if (!openChecked(path, file, head))
        return false;
    const std::size_t size = std::size_t(file.size());
    osg::PageBuffer data;
    if (!data.resize(std::max<std::size_t>(size, 1)))
        return fail("not enough memory to read " + std::to_string(size) + " bytes");
    std::memcpy(data.data(), head.data(), head.size());
    if (!file.read(data.data() + head.size(), size - head.size(), progress))
        return fail("read error: " + file.getError());
    return readBuffer(data.data(), size, true);
}

bool ksZmbReader::readMetadataFile(const QString& path)
{
    osg::RegularFile file;
    std::vector<std::uint8_t> head;
    if (!openChecked(path, file, head))
        return false;
    for (const Section& s : m_sections) {
        if (s.id != ksZmb::MetadataSection)
            continue;
        std::vector<std::uint8_t> stored(std::size_t(s.storedSize));
        if (!file.seek(s.offset) || !file.read(stored.data(), stored.size()))
            return fail("section META: " + file.getError());
        if (!verifySection(s, stored.data()))
            return false;
        osg::PageBuffer raw;
        const std::uint8_t* plain = nullptr;
        std::size_t length = 0;
        ksZmbMetadata metadata;
        if (!unpack(s, stored.data(), raw, plain, length) || !decodeMetadata(plain, length, metadata))
            return false;
        m_metadata = std::move(metadata);
    }
    return true;
}
