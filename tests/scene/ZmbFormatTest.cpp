// Licensed under the MIT licence; see LICENSE.
#include "SceneTestSupport.h"

#include "import/ksMetaDataReader.h"
#include "scene/ksFastGeometryLoader.h"
#include "scene/ksFileIO.h"
#include "scene/ksZmbReader.h"
#include "scene/ksZmbWriter.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <random>

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

// Offsets of the little-endian fields of section `index`'s table entry.
std::size_t entryOffset(std::size_t index)
{
    return ksZmb::HeaderSize + index * ksZmb::SectionEntrySize;
}

template <class T> void poke(std::vector<std::uint8_t>& bytes, std::size_t offset, T value)
{
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

// The reader fails cleanly: no root, a reason, and nothing left behind.
void expectRejected(const std::vector<std::uint8_t>& bytes, const char* expectedReason = nullptr)
{
    const std::size_t live = FieldContainerFactory::the()->getNumLiveContainers();
    ksZmbReader reader;
    EXPECT_FALSE(reader.readMemory(bytes.data(), bytes.size()));
    EXPECT_FALSE(reader.getRoot());
    EXPECT_FALSE(reader.getError().empty());
    EXPECT_TRUE(reader.getStash().isEmpty());
    if (expectedReason) {
        EXPECT_NE(reader.getError().find(expectedReason), std::string::npos) << reader.getError();
    }
    EXPECT_EQ(FieldContainerFactory::the()->getNumLiveContainers(), live);
}

} // namespace

TEST(ZmbFormat, RoundTripKeepsSharingMaterialsAttachmentsStashAndMetadataByteForByte)
{
    AssemblyScene scene(30000); // large enough for a compressed scene section
    const ksSmartReferenceStash stash = sampleStash();
    const ksZmbMetadata metadata = ksFileIO::makeMetadata(scene.root.get());
    const std::vector<std::uint8_t> first = encode(scene.root.get(), stash, metadata);
    ASSERT_FALSE(first.empty());

    ksZmbReader reader;
    ASSERT_TRUE(reader.readMemory(first.data(), first.size())) << reader.getError();
    const NodeRefPtr root = reader.takeRoot();
    EXPECT_EQ(reader.getStash(), stash);
    EXPECT_EQ(reader.getMetadata(), metadata);
    EXPECT_EQ(reader.getMetadata().at(ksZmb::AssemblyFileReferencesKey), "/refs/sub.zmb");

    scene.expectReadBack(root.get());
    EXPECT_EQ(encode(root.get(), reader.getStash(), reader.getMetadata()), first);
}

TEST(ZmbFormat, LargeSectionsAreCompressedAndSmallOnesStoredPlain)
{
    AssemblyScene big(100000);
    const std::vector<std::uint8_t> bytes = encode(big.root.get(), sampleStash());
    std::uint32_t sceneFlags = 0, metaFlags = 1;
    std::memcpy(&metaFlags, bytes.data() + entryOffset(0) + 4, 4);
    std::memcpy(&sceneFlags, bytes.data() + entryOffset(2) + 4, 4);
    EXPECT_EQ(metaFlags, 0u);
    EXPECT_EQ(sceneFlags, ksZmb::FlagZstd);
    EXPECT_LT(bytes.size(), 100000u * 12) << "the positions compress";
}

TEST(ZmbFormat, LargeSectionsThatDoNotShrinkAreStoredPlainAndReadBack)
{
    // Noise does not compress; a repeated pattern does. Sizes below and
    // above the writer's buffer take both of its ways to the sample.
    std::mt19937 random(3);
    const auto noise = [&](int size) {
        QByteArray bytes(size, Qt::Uninitialized);
        for (char& c : bytes)
            c = char(random());
        return bytes;
    };
    AssemblyScene scene(10);
    for (int size : {200 * 1024, 3 << 20}) {
        for (bool compressible : {false, true}) {
            ksSmartReferenceStash stash;
            stash.setEntry("blob", compressible ? QByteArray(size, 'z') : noise(size));
            const std::vector<std::uint8_t> bytes = encode(scene.root.get(), stash);
            std::uint32_t flags = 0;
            std::uint64_t stored = 0, raw = 0;
            std::memcpy(&flags, bytes.data() + entryOffset(1) + 4, 4);
            std::memcpy(&stored, bytes.data() + entryOffset(1) + 8, 8);
            std::memcpy(&raw, bytes.data() + entryOffset(1) + 16, 8);
            EXPECT_EQ(flags, compressible ? ksZmb::FlagZstd : 0u) << size;
            EXPECT_EQ(stored < raw, compressible) << size;
            ksZmbReader reader;
            ASSERT_TRUE(reader.readMemory(bytes.data(), bytes.size())) << reader.getError();
            EXPECT_EQ(reader.getStash().getEntries(), stash.getEntries());
        }
    }
}

TEST(ZmbFormat, TruncationAtEveryOffsetFailsCleanly)
{
    AssemblyScene scene;
    const std::vector<std::uint8_t> bytes = encode(scene.root.get(), sampleStash(), {{"k", "v"}});
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        SCOPED_TRACE(n);
        expectRejected(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + n));
    }
}

TEST(ZmbFormat, FlippedBitsAreCaughtByTheChecksums)
{
    AssemblyScene scene(20000);
    const std::vector<std::uint8_t> bytes = encode(scene.root.get(), sampleStash());
    std::mt19937 random(1234);
    for (int i = 0; i < 300; ++i) {
        std::vector<std::uint8_t> damaged = bytes;
        const std::size_t at = random() % damaged.size();
        damaged[at] ^= std::uint8_t(1u << (random() % 8));
        SCOPED_TRACE(at);
        expectRejected(damaged);
    }
}

TEST(ZmbFormat, FlippedBitsBehindValidChecksumsNeverCrashTheDecoder)
{
    AssemblyScene scene;
    const std::vector<std::uint8_t> bytes = encode(scene.root.get(), sampleStash(), {{"a", "1"}, {"b", "2"}});
    std::mt19937 random(99);
    int accepted = 0;
    for (int i = 0; i < 2000; ++i) {
        std::vector<std::uint8_t> damaged = bytes;
        for (int flips = 1 + int(random() % 3); flips > 0; --flips) {
            const std::size_t at = ksZmb::HeaderSize + random() % (damaged.size() - ksZmb::HeaderSize);
            damaged[at] ^= std::uint8_t(1u << (random() % 8));
        }
        if (!ksZmbWriter::resealChecksums(damaged))
            continue;
        ksZmbReader reader;
        if (reader.readMemory(damaged.data(), damaged.size())) {
            ++accepted; // a changed value, still a valid file
            EXPECT_TRUE(reader.getRoot());
        } else {
            EXPECT_FALSE(reader.getError().empty());
        }
    }
    EXPECT_LT(accepted, 2000);
}

TEST(ZmbFormat, VersionsNewerThanTheReaderAreRefused)
{
    AssemblyScene scene;
    const std::vector<std::uint8_t> bytes = encode(scene.root.get());
    std::vector<std::uint8_t> newerMinor = bytes;
    poke<std::uint16_t>(newerMinor, 10, ksZmb::MinorVersion + 1);
    ASSERT_TRUE(ksZmbWriter::resealChecksums(newerMinor));
    expectRejected(newerMinor, "version 1.1 is not supported");
    std::vector<std::uint8_t> otherMajor = bytes;
    poke<std::uint16_t>(otherMajor, 8, ksZmb::MajorVersion + 1);
    ASSERT_TRUE(ksZmbWriter::resealChecksums(otherMajor));
    expectRejected(otherMajor, "version 2.0");
    std::vector<std::uint8_t> foreign = bytes;
    foreign[1] = 'X';
    expectRejected(foreign, "not a Talvik project file");
}

TEST(ZmbFormat, HugeLengthsAreRefusedBeforeAnythingIsAllocated)
{
    AssemblyScene scene;
    const std::vector<std::uint8_t> bytes = encode(scene.root.get(), sampleStash(), {{"key", "value"}});

    std::vector<std::uint8_t> storedSize = bytes;
    poke<std::uint64_t>(storedSize, entryOffset(2) + 8, ~std::uint64_t(0) - 5);
    ksZmbWriter::resealChecksums(storedSize); // fails: the sizes do not add up
    expectRejected(storedSize);

    std::vector<std::uint8_t> sections = bytes;
    poke<std::uint32_t>(sections, 12, 0xFFFFFFF0u);
    expectRejected(sections, "sections");

    std::vector<std::uint8_t> rawSize = bytes;
    poke<std::uint32_t>(rawSize, entryOffset(0) + 4, ksZmb::FlagZstd);
    poke<std::uint64_t>(rawSize, entryOffset(0) + 16, std::uint64_t(1) << 40);
    ASSERT_TRUE(ksZmbWriter::resealChecksums(rawSize));
    expectRejected(rawSize, "too large");

    // The metadata section starts right after the table: its entry count,
    // then the first key's length.
    const std::size_t meta = entryOffset(3);
    std::vector<std::uint8_t> count = bytes;
    poke<std::uint32_t>(count, meta, 0x7FFFFFFFu);
    ASSERT_TRUE(ksZmbWriter::resealChecksums(count));
    expectRejected(count, "section META");
    std::vector<std::uint8_t> keyLength = bytes;
    poke<std::uint32_t>(keyLength, meta + 4, 0xFFFFFFFFu);
    ASSERT_TRUE(ksZmbWriter::resealChecksums(keyLength));
    expectRejected(keyLength, "section META");

    std::uint64_t metaSize = 0;
    std::memcpy(&metaSize, bytes.data() + entryOffset(0) + 8, 8);
    const std::size_t firstBlob = meta + std::size_t(metaSize) + 4 + 4 + std::strlen("empty");
    std::vector<std::uint8_t> blob = bytes;
    poke<std::uint64_t>(blob, firstBlob, std::uint64_t(1) << 62);
    ASSERT_TRUE(ksZmbWriter::resealChecksums(blob));
    expectRejected(blob, "section STSH");
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
    poke<std::uint32_t>(extended, 12, 4);
    ASSERT_TRUE(ksZmbWriter::resealChecksums(extended));
    ksZmbReader reader;
    EXPECT_TRUE(reader.readMemory(extended.data(), extended.size())) << reader.getError();

    std::vector<std::uint8_t> twice = extended;
    poke<std::uint32_t>(twice, entryOffset(3), ksZmb::MetadataSection);
    ASSERT_TRUE(ksZmbWriter::resealChecksums(twice));
    expectRejected(twice, "appears twice");
}

TEST(ZmbFormat, LoaderLogsOneMessageForABadFileAndReadsMetadataAlone)
{
    QTemporaryDir dir;
    AssemblyScene scene;
    const QString good = dir.filePath("assembly.ZMB");
    ASSERT_TRUE(ksFileIO::saveSmartReference(scene.root.get(), good.toStdString(), sampleStash()));

    ksMetaDataReader meta;
    ASSERT_TRUE(meta.read(good.toStdString())) << meta.getError();
    EXPECT_EQ(meta.getAssemblyFileReferences(), "/refs/sub.zmb");
    const QString leaf = dir.filePath("leaf.zmb");
    ASSERT_TRUE(ksFileIO::saveSmartReference(scene.rim.get(), leaf.toStdString(), {}));
    ASSERT_TRUE(meta.read(leaf.toStdString()));
    EXPECT_EQ(meta.getAssemblyFileReferences(), "");
    EXPECT_FALSE(meta.read(dir.filePath("missing.zmb").toStdString()));

    QByteArray bytes = fileBytes(good);
    bytes.chop(7);
    const QString broken = dir.filePath("broken.zmb");
    ASSERT_TRUE(writeFile(broken, bytes));
    LogRecorder log;
    ksFastGeometryLoader loader;
    EXPECT_FALSE(loader.load(broken));
    ASSERT_EQ(log.problems().size(), 1u);
    EXPECT_NE(log.problems()[0].find("Unable to load"), std::string::npos);
    EXPECT_NE(log.problems()[0].find("broken.zmb"), std::string::npos);
    EXPECT_FALSE(meta.read(broken.toStdString())) << "the table no longer matches the file size";

    loader.setStashLoadedData(true);
    const NodeRefPtr root = loader.load(good);
    ASSERT_TRUE(root);
    EXPECT_EQ(loader.getStash(), sampleStash());
    EXPECT_FALSE(loader.load(dir.filePath("assembly.obj")));
}
