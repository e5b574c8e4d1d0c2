// Licensed under the MIT licence; see LICENSE.
#include "SceneTestSupport.h"

#include "scene/ksFileIO.h"
#include "scene/ksZmbReader.h"
#include "scene/ksZmbWriter.h"
#include "scenegraph/CPEditor.h"
#include "scenegraph/Name.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>

using namespace osg;

namespace {

ksSmartReferenceStash sampleStash()
{
    ksSmartReferenceStash stash;
    stash.setEntry("views", QByteArray("front;back;top"));
    stash.setEntry("variants", QByteArray(3000, '\x7f'));
    stash.setEntry("empty", QByteArray());
    return stash;
}

std::vector<std::uint8_t> encode(const NodePtr& root, const ksSmartReferenceStash& stash = {},
                                 const ksZmbMetadata& metadata = {})
{
    return ksZmbWriter(root, stash, metadata).toBytes();
}

// Offset of section `index`'s table entry.
std::size_t entryOffset(std::size_t index)
{
    return ksZmb::HeaderSize + index * ksZmb::SectionEntrySize;
}

template <class T> T peek(const std::vector<std::uint8_t>& bytes, std::size_t offset)
{
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

// A copy with one little-endian field replaced, checksums made to match again
// unless they cannot be or `reseal` is false.
template <class T>
std::vector<std::uint8_t> patched(std::vector<std::uint8_t> bytes, std::size_t offset, T value, bool reseal = true)
{
    std::memcpy(bytes.data() + offset, &value, sizeof value);
    if (reseal)
        ksZmbWriter::resealChecksums(bytes);
    return bytes;
}

// The reader fails cleanly: no root, a reason, and nothing left behind.
void expectRejected(const std::vector<std::uint8_t>& bytes, const char* expectedReason = "")
{
    const std::size_t live = FieldContainerFactory::the()->getNumLiveContainers();
    const ksZmbReadResult result = ksZmbReader::read(bytes.data(), bytes.size());
    EXPECT_FALSE(result);
    EXPECT_FALSE(result.root);
    EXPECT_TRUE(result.stash.isEmpty());
    EXPECT_TRUE(result.metadata.empty());
    EXPECT_FALSE(result.message.empty());
    EXPECT_NE(result.message.find(expectedReason), std::string::npos) << result.message;
    EXPECT_EQ(FieldContainerFactory::the()->getNumLiveContainers(), live);
}

// Blocks of `fresh` pseudo-random bytes, each followed by `repeated` bytes
// copied from earlier in the data: zstd gains about (fresh + repeated) / fresh.
QByteArray partlyRepeating(int fresh, int repeated, int size)
{
    QByteArray bytes;
    std::uint32_t x = 12345;
    while (bytes.size() < size) {
        for (int i = 0; i < fresh; ++i) {
            x = x * 1664525u + 1013904223u;
            bytes.append(char(x >> 24));
        }
        // From close behind, so that a sample of a few slices holds the
        // bytes a copy repeats.
        const int from = std::max(0, bytes.size() - fresh - int(x % 64u));
        bytes.append(bytes.mid(from, repeated));
    }
    return bytes;
}

} // namespace

TEST(ZmbFormat, RoundTripKeepsSharingMaterialsAttachmentsStashAndMetadataByteForByte)
{
    AssemblyScene scene(30000); // a large scene section, mostly positions
    ksSmartReferenceStash stash = sampleStash();
    stash.setEntry("layers", partlyRepeating(16, 48, 256 * 1024));
    const ksZmbMetadata metadata = ksFileIO::makeMetadata(scene.root.get());
    const std::vector<std::uint8_t> first = encode(scene.root.get(), stash, metadata);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(peek<std::uint32_t>(first, entryOffset(0) + 4), 0u) << "small metadata is stored plain";
    EXPECT_EQ(peek<std::uint32_t>(first, entryOffset(1) + 4), ksZmb::FlagZstd);
    EXPECT_EQ(peek<std::uint32_t>(first, entryOffset(2) + 4), 0u) << "positions gain too little";

    const ksZmbReadResult read = ksZmbReader::read(first.data(), first.size());
    ASSERT_TRUE(read) << read.message;
    EXPECT_EQ(read.stash, stash);
    EXPECT_EQ(read.metadata, metadata);
    EXPECT_EQ(read.metadata.at(ksZmb::AssemblyFileReferencesKey), "/refs/sub.zmb");

    scene.expectReadBack(read.root.get());
    EXPECT_EQ(encode(read.root.get(), read.stash, read.metadata), first);
}

TEST(ZmbFormat, TruncatedOrFlippedFilesFailCleanly)
{
    AssemblyScene scene(20000);
    const std::vector<std::uint8_t> bytes = encode(scene.root.get(), sampleStash(), {{"k", "v"}});
    // Inside the header, the table, the first payload and the last one.
    for (std::size_t at : {std::size_t(3), entryOffset(1) + 9, entryOffset(3) + 2, bytes.size() - 1}) {
        SCOPED_TRACE(at);
        expectRejected(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + at));
        std::vector<std::uint8_t> flipped = bytes;
        flipped[at] ^= 0x10;
        expectRejected(flipped);
    }
    expectRejected({});
}

// A section stored plain carries text a user could edit by hand; one changed
// character that still parses must be refused by the section's checksum.
TEST(ZmbFormat, AChangedCharacterInAPlainSectionIsAChecksumMismatch)
{
    AssemblyScene scene;
    const std::vector<std::uint8_t> bytes = encode(scene.root.get(), {}, {{"author", "anna"}});
    ASSERT_EQ(peek<std::uint32_t>(bytes, entryOffset(0) + 4) & ksZmb::FlagZstd, 0u) << "stored plain";
    const auto at = std::search(bytes.begin(), bytes.end(), std::begin("anna"), std::end("anna") - 1);
    ASSERT_NE(at, bytes.end());
    const std::size_t offset = std::size_t(at - bytes.begin());

    expectRejected(patched<char>(bytes, offset, 'h', false), "section META: checksum mismatch");
    // The same change with the checksums made to match reads, so the checksum alone refused it.
    const std::vector<std::uint8_t> resealed = patched<char>(bytes, offset, 'h');
    const ksZmbReadResult read = ksZmbReader::read(resealed.data(), resealed.size());
    ASSERT_TRUE(read) << read.message;
    EXPECT_EQ(read.metadata.at("author"), "hnna");
}

TEST(ZmbFormat, ForeignFilesAndNewerVersionsAreRefusedWithTheReason)
{
    AssemblyScene scene;
    const std::vector<std::uint8_t> bytes = encode(scene.root.get());
    expectRejected(patched<std::uint16_t>(bytes, 10, ksZmb::MinorVersion + 1), "version 1.1 is not supported");
    expectRejected(patched<std::uint16_t>(bytes, 8, ksZmb::MajorVersion + 1), "version 2.0");
    expectRejected(patched<std::uint8_t>(bytes, 1, 'X'), "not a Talvik project file");
}

TEST(ZmbFormat, HugeLengthsAreRefusedBeforeAnythingIsAllocated)
{
    AssemblyScene scene;
    const std::vector<std::uint8_t> bytes = encode(scene.root.get(), sampleStash(), {{"key", "value"}});

    // Resealing fails here: the sizes no longer add up to the file.
    expectRejected(patched<std::uint64_t>(bytes, entryOffset(2) + 8, ~std::uint64_t(0) - 5));
    expectRejected(patched<std::uint32_t>(bytes, 12, 0xFFFFFFF0u, false), "sections");
    const auto compressed = patched<std::uint32_t>(bytes, entryOffset(0) + 4, ksZmb::FlagZstd, false);
    expectRejected(patched<std::uint64_t>(compressed, entryOffset(0) + 16, std::uint64_t(1) << 40), "too large");

    // The metadata section starts right after the table: its entry count,
    // then the first key's length. The stash follows it.
    const std::size_t meta = entryOffset(3);
    expectRejected(patched<std::uint32_t>(bytes, meta, 0x7FFFFFFFu), "section META");
    expectRejected(patched<std::uint32_t>(bytes, meta + 4, 0xFFFFFFFFu), "section META");
    const std::size_t firstBlob =
        meta + std::size_t(peek<std::uint64_t>(bytes, entryOffset(0) + 8)) + 4 + 4 + std::strlen("empty");
    expectRejected(patched<std::uint64_t>(bytes, firstBlob, std::uint64_t(1) << 62), "section STSH");
}

TEST(ZmbFormat, SectionsOfNewerMinorVersionsAreSkippedAndDuplicatesRefused)
{
    AssemblyScene scene;
    std::vector<std::uint8_t> bytes = encode(scene.root.get());
    // Append a fourth, unknown section: a new table entry and its payload.
    std::vector<std::uint8_t> extended(bytes.begin(), bytes.begin() + entryOffset(3));
    std::vector<std::uint8_t> entry(ksZmb::SectionEntrySize, 0);
    const std::uint32_t id = ksZmb::sectionId("XTRA");
    const std::uint64_t size = 5;
    std::memcpy(entry.data(), &id, 4);
    std::memcpy(entry.data() + 8, &size, 8);
    std::memcpy(entry.data() + 16, &size, 8);
    extended.insert(extended.end(), entry.begin(), entry.end());
    extended.insert(extended.end(), bytes.begin() + entryOffset(3), bytes.end());
    extended.insert(extended.end(), {'h', 'e', 'l', 'l', 'o'});
    extended = patched<std::uint32_t>(extended, 12, 4);
    const ksZmbReadResult read = ksZmbReader::read(extended.data(), extended.size());
    EXPECT_TRUE(read) << read.message;
    expectRejected(patched<std::uint32_t>(extended, entryOffset(3), ksZmb::MetadataSection), "appears twice");
}

// A file read whole gives its pages back as the scene is built from it; the
// records built after each release must still read their own bytes.
TEST(ZmbFormat, AFileOfManySmallRecordsReadsBackWhole)
{
    const NodeRefPtr root = Node::create();
    {
        CPEditor edit(root, Node::ChildrenFieldMask);
        for (int i = 0; i < 80000; ++i) {
            const NodeRefPtr child = Node::create();
            setName(child, "part " + std::to_string(i));
            root->addChild(child);
        }
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("many.zmb");
    const ksFileResult saved = ksZmbWriter(root, {}, {}).save(path);
    ASSERT_TRUE(saved) << saved.message.toStdString();
    ASSERT_GT(QFileInfo(path).size(), 8 << 20) << "several release steps";

    const ksZmbReadResult result = ksZmbReader::read(path);
    ASSERT_TRUE(result) << result.message;
    const NodeRefPtr read = result.root;
    ASSERT_EQ(read->getNChildren(), 80000u);
    for (UInt32 i = 0; i < read->getNChildren(); i += 997)
        EXPECT_EQ(getName(read->getChild(i)), "part " + std::to_string(i));
    EXPECT_EQ(getName(read->getChild(79999)), "part 79999");
}
