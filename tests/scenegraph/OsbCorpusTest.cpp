// Licensed under the MIT licence; see LICENSE.
#include "BlockBuilder.h"
#include "SampleScene.h"

#include "scenegraph/SceneDecoder.h"
#include "scenegraph/SceneFileHandler.h"

#include <gtest/gtest.h>

#include <random>

using namespace osg;
using Bytes = BlockBuilder::Bytes;

namespace {

// Every bad input must fail with a message and build nothing: no container
// outlives the attempt and no reference core is ever announced.
class OsbCorpus : public ::testing::Test {
protected:
    void SetUp() override
    {
        {
            SampleScene scene;
            valid = SceneFileHandler::the().writeToMemory(scene.root);
            validCompressed = SceneFileHandler::the().writeToMemory(scene.root, true);
        }
        ExtReference::setAddToPoolCallback([this](const ExtReferencePtr&) { ++announced; });
        liveBefore = FieldContainerFactory::the()->getNumLiveContainers();
    }
    void TearDown() override { ExtReference::setAddToPoolCallback(nullptr); }

    // Reads `bytes`; expects failure with an error containing `expected`.
    void expectRejected(const Bytes& bytes, const std::string& expected)
    {
        announced = 0;
        NodeRefPtr read = SceneFileHandler::the().readFromMemory(bytes.data(), bytes.size());
        EXPECT_FALSE(read);
        const std::string& error = SceneFileHandler::the().getLastError();
        EXPECT_NE(error.find(expected), std::string::npos) << "error: " << error;
        EXPECT_EQ(announced, 0) << "nothing may be built from a bad file";
        EXPECT_EQ(FieldContainerFactory::the()->getNumLiveContainers(), liveBefore);
    }

    Bytes valid, validCompressed;
    int announced = 0;
    std::size_t liveBefore = 0;
};

TEST_F(OsbCorpus, EveryTruncationFailsCleanly)
{
    for (const Bytes* file : {&valid, &validCompressed})
        for (std::size_t length = 0; length < file->size(); ++length) {
            SCOPED_TRACE(length);
            expectRejected(Bytes(file->begin(), file->begin() + std::ptrdiff_t(length)), "");
            ASSERT_FALSE(SceneFileHandler::the().getLastError().empty());
        }
}

TEST_F(OsbCorpus, FlippedBitsNeverCrashOrLeak)
{
    std::mt19937 random(20240611);
    int rejected = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes = round % 3 == 0 ? validCompressed : valid;
        const int flips = 1 + int(random() % 3);
        for (int i = 0; i < flips; ++i)
            bytes[random() % bytes.size()] ^= UInt8(1u << (random() % 8));
        NodeRefPtr read = SceneFileHandler::the().readFromMemory(bytes.data(), bytes.size());
        if (!read) {
            ++rejected;
            ASSERT_FALSE(SceneFileHandler::the().getLastError().empty());
            continue;
        }
        // A flip that still reads (inside a value) gives a scene that writes back.
        const Bytes again = SceneFileHandler::the().writeToMemory(read);
        EXPECT_FALSE(again.empty());
    }
    EXPECT_GT(rejected, 1000);
    EXPECT_EQ(FieldContainerFactory::the()->getNumLiveContainers(), liveBefore);
}

TEST_F(OsbCorpus, VersionsNewerThanTheReaderAreRefused)
{
    expectRejected(BlockBuilder::wrapInFile(BlockBuilder().block(), 1, 1), "file header: version 1.1 is not readable");
    expectRejected(BlockBuilder::wrapInFile(BlockBuilder().block(), 2, 0), "version 2.0");
    expectRejected(BlockBuilder::wrapInFile(BlockBuilder().block(), 0, 9), "version 0.9");
    BlockBuilder newBlock;
    newBlock.version(1, 3);
    expectRejected(newBlock.file(), "scene block header: version 1.3 is not readable");
    Bytes badMagic = valid;
    badMagic[1] = 'X';
    expectRejected(badMagic, "not an .osb file");
}

TEST_F(OsbCorpus, HugeLengthsAndCountsAreCaughtBeforeAllocating)
{
    struct Case {
        const char* what;
        std::function<Bytes()> make;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"field length", [] {
             BlockBuilder b;
             b.root(b.record("Transform"));
             b.rawField("Matrix", UInt64(1) << 62, Bytes(64, 0));
             return b.file();
         }, "record 1 (Transform).Matrix: truncated"},
        {"short value", [] {
             BlockBuilder b;
             b.root(b.record("Node"));
             b.record("Transform");
             b.field("Matrix", Bytes(10, 0));
             return b.file();
         }, "record 2 (Transform).Matrix: truncated"},
        {"string count", [] {
             Bytes block = BlockBuilder().block();
             block[16] = block[17] = block[18] = block[19] = 0xFF;
             return BlockBuilder::wrapInFile(block);
         }, "string table: too many strings (4294967295)"},
        {"record count", [] {
             BlockBuilder b;
             Bytes block = b.block();
             // No strings: the record count follows the string count.
             block[20] = block[21] = block[22] = 0xFF;
             return BlockBuilder::wrapInFile(block);
         }, "records: too many records"},
        {"block length", [] {
             Bytes block = BlockBuilder().block();
             block[15] = 0x7F;
             return BlockBuilder::wrapInFile(block);
         }, "scene block header: truncated"},
        {"array length", [] {
             BlockBuilder b;
             b.root(b.record("Geometry"));
             b.field("Positions", Bytes(13, 0));
             return b.file();
         }, "record 1 (Geometry).Positions: length is not a whole number of elements"},
        {"compressed size", [] {
             Bytes file = BlockBuilder::wrapInFile({});
             file[12] = 1; // compressed
             const UInt64 claimed = UInt64(1) << 40;
             const auto* p = reinterpret_cast<const UInt8*>(&claimed);
             file.insert(file.end(), p, p + 8);
             return file;
         }, "exceeds the limit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        expectRejected(c.make(), c.expected);
    }
}

TEST_F(OsbCorpus, BadReferencesAreRefusedWithTheirPlace)
{
    struct Case {
        const char* what;
        std::function<void(BlockBuilder&)> make;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"dangling core", [](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.field("Core", BlockBuilder::u32s({9}));
         }, "record 1 (Node).Core: refers to record 9, which does not exist"},
        {"dangling child", [](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.field("Children", BlockBuilder::u32s({0}));
         }, "record 1 (Node).Children: empty entry in a list"},
        {"wrong target type", [](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.field("Core", BlockBuilder::u32s({2}));
             b.record("FileReference");
         }, "record 1 (Node).Core: record 2 (FileReference) is not a NodeCore"},
        {"environment cycle", [](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.field("Core", BlockBuilder::u32s({2}));
             b.record("Geometry");
             b.field("Material", BlockBuilder::u32s({3}));
             b.record("UBRDFMaterial");
             b.field("Environment", BlockBuilder::u32s({4}));
             b.record("UBRDFMaterial");
             b.field("Environment", BlockBuilder::u32s({3}));
         }, "record 3 (UBRDFMaterial): reference cycle through record 4 (UBRDFMaterial)"},
        {"node loop", [](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.record("Node");
             b.field("Children", BlockBuilder::u32s({3}));
             b.record("Node");
             b.field("Children", BlockBuilder::u32s({2}));
         }, "record 2 (Node): not reachable from any root"},
        {"two parents", [](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.field("Children", BlockBuilder::u32s({2, 3}));
             b.record("Node");
             b.field("Children", BlockBuilder::u32s({4}));
             b.record("Node");
             b.field("Children", BlockBuilder::u32s({4}));
             b.record("Node");
         }, "record 4 (Node): child of both record 2 and record 3"},
        {"root with a parent", [](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.field("Children", BlockBuilder::u32s({1}));
         }, "roots: record 1 (Node) is also the child of record 1"},
        {"unreachable record", [](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.record("Group");
         }, "record 2 (Group): not reachable from any root"},
        {"unknown type", [](BlockBuilder& b) { b.root(b.record("Teapot")); }, "record 1: unknown type 'Teapot'"},
        {"abstract type", [](BlockBuilder& b) { b.root(b.record("NodeCore")); }, "record 1 (NodeCore): abstract type"},
        {"field twice", [](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.field("Flags", BlockBuilder::u32s({1})).field("Flags", BlockBuilder::u32s({2}));
         }, "record 1 (Node).Flags: appears twice"},
        {"attachment binding", [](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.field("Attachments", BlockBuilder::u32s({0x10000, 2}));
             b.record("Name");
         }, "record 1 (Node).Attachments: attachment binding out of range"},
        {"root is not a node", [](BlockBuilder& b) { b.root(b.record("Group")); }, "exactly one root Node"},
        {"no root", [](BlockBuilder&) {}, "exactly one root Node"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BlockBuilder b;
        c.make(b);
        expectRejected(b.file(), c.expected);
    }
}

TEST_F(OsbCorpus, NestingIsCappedButAllowedUpToTheLimit)
{
    auto chain = [](UInt32 depth) {
        BlockBuilder b;
        for (UInt32 i = 1; i <= depth; ++i) {
            b.record("Node");
            if (i < depth)
                b.field("Children", BlockBuilder::u32s({i + 1}));
        }
        b.root(1);
        return b.file();
    };
    const Bytes deep = chain(10000);
    NodeRefPtr read = SceneFileHandler::the().readFromMemory(deep.data(), deep.size());
    EXPECT_TRUE(read) << SceneFileHandler::the().getLastError();
    read.reset();
    expectRejected(chain(10001), "nested deeper than 10000 levels");
}

TEST_F(OsbCorpus, CompressedDataMustMatchItsHeader)
{
    Bytes tooShort = validCompressed;
    reinterpret_cast<UInt64&>(tooShort[16]) += 1; // announces one byte more than the frame holds
    expectRejected(tooShort, "compressed data");
    Bytes tooLong = validCompressed;
    reinterpret_cast<UInt64&>(tooLong[16]) -= 1;
    expectRejected(tooLong, "more than the announced block size");
    Bytes trailing = validCompressed;
    trailing.push_back(0);
    expectRejected(trailing, "compressed data");
}

} // namespace
