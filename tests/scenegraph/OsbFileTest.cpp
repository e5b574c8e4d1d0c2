// Licensed under the MIT licence; see LICENSE.
#include "AssemblyScene.h"
#include "BlockBuilder.h"

#include "scenegraph/SceneDecoder.h"
#include "scenegraph/SceneEncoder.h"
#include "scenegraph/SceneFileHandler.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>

using namespace osg;
using Bytes = BlockBuilder::Bytes;
namespace fs = std::filesystem;

namespace {

Bytes fileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

NodeRefPtr readBytes(const Bytes& bytes)
{
    return SceneFileHandler::the().readFromMemory(bytes.data(), bytes.size());
}

class OsbFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        {
            AssemblyScene scene;
            valid = SceneFileHandler::the().writeToMemory(scene.root);
            validCompressed = SceneFileHandler::the().writeToMemory(scene.root, true);
        }
        dir = fs::temp_directory_path() / ("osb-test-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        liveBefore = FieldContainerFactory::the()->getNumLiveContainers();
    }
    void TearDown() override
    {
        ExtReference::setAddToPoolCallback(nullptr);
        ExtReference::setUpdateInPoolCallback(nullptr);
        fs::remove_all(dir);
    }

    // Every bad input must fail with a message and build nothing: no
    // container outlives the attempt and no reference core is announced.
    void expectRejected(const Bytes& bytes, const std::string& expected)
    {
        int announced = 0;
        ExtReference::setAddToPoolCallback([&](const ExtReferencePtr&) { ++announced; });
        EXPECT_FALSE(readBytes(bytes));
        ExtReference::setAddToPoolCallback(nullptr);
        const std::string& error = SceneFileHandler::the().getLastError();
        EXPECT_FALSE(error.empty());
        EXPECT_NE(error.find(expected), std::string::npos) << "error: " << error;
        EXPECT_EQ(announced, 0);
        EXPECT_EQ(FieldContainerFactory::the()->getNumLiveContainers(), liveBefore);
    }

    Bytes valid, validCompressed;
    fs::path dir;
    std::size_t liveBefore = 0;
};

TEST_F(OsbFile, WriteReadWriteGivesIdenticalBytesAndTheSameScene)
{
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "compressed" : "plain");
        const fs::path first = dir / "first.osb", second = dir / "second.osb";
        AssemblyScene scene;
        ASSERT_TRUE(SceneFileHandler::the().write(scene.root, first.string(), compressed))
            << SceneFileHandler::the().getLastError();
        NodeRefPtr read = SceneFileHandler::the().read(first.string());
        ASSERT_TRUE(SceneFileHandler::the().write(read, second.string(), compressed));
        EXPECT_EQ(fileBytes(first), fileBytes(second));
        scene.expectReadBack(read);
    }
}

TEST_F(OsbFile, ReadContainersAreAnnouncedAndPublished)
{
    std::vector<std::string> calls;
    ExtReference::setAddToPoolCallback([&](const ExtReferencePtr& e) {
        calls.push_back("add smart=" + std::string(e->getSmartFile() ? e->getSmartFile()->getPath() : "none"));
    });
    ExtReference::setUpdateInPoolCallback([&](const ExtReferencePtr& e) {
        calls.push_back("update smart=" + e->getSmartFile()->getPath());
    });
    NodeRefPtr read = readBytes(valid);
    ASSERT_TRUE(read);
    EXPECT_EQ(calls, (std::vector<std::string>{"add smart=none", "update smart=/refs/sub.zmb"}))
        << "one shared core: announced once when made, published once when filled";
}

TEST_F(OsbFile, WritingReplacesTheTargetAtOnceAndLeavesNothingBehind)
{
    const fs::path target = dir / "scene.osb";
    std::ofstream(target) << "previous";
    NodeRefPtr node = Node::create();
    EXPECT_FALSE(SceneFileHandler::the().write(NullFC, target.string()));
    EXPECT_NE(SceneFileHandler::the().getLastError(), "");
    EXPECT_EQ(fileBytes(target), BlockBuilder::text("previous")) << "a failed write leaves the old file";

    ASSERT_TRUE(SceneFileHandler::the().write(node, target.string()));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "no temporary file left";
    EXPECT_TRUE(SceneFileHandler::the().read(target.string()));

    const fs::path nowhere = dir / "missing" / "scene.osb";
    EXPECT_FALSE(SceneFileHandler::the().write(node, nowhere.string()));
    EXPECT_NE(SceneFileHandler::the().getLastError().find(nowhere.string()), std::string::npos);
    EXPECT_FALSE(SceneFileHandler::the().read(nowhere.string()));
    EXPECT_NE(SceneFileHandler::the().getLastError().find("cannot open"), std::string::npos);
}

TEST_F(OsbFile, EncoderAndDecoderWorkOnBlocksInMemory)
{
    // Several roots of any type, with bytes of another format after the block.
    UBRDFMaterialRefPtr brdf = UBRDFMaterial::create();
    NodeRefPtr node = Node::create();
    GeometryRefPtr geo = Geometry::create();
    geo->setMaterial(brdf);
    node->setCore(geo);
    const SceneEncoder encoder({node, brdf});
    Bytes bytes = encoder.toBytes();
    ASSERT_EQ(bytes.size(), encoder.getSize());
    bytes.push_back(0xAB);

    SceneDecoder decoder;
    ASSERT_TRUE(decoder.decode(bytes.data(), bytes.size())) << decoder.getError();
    EXPECT_EQ(decoder.getBytesRead(), bytes.size() - 1);
    ASSERT_EQ(decoder.getRoots().size(), 2u);
    NodePtr readNode = NodePtr::dcast(decoder.getRoots()[0]);
    ASSERT_TRUE(readNode);
    EXPECT_EQ(GeometryPtr::dcast(readNode->getCore())->getMaterial(), decoder.getRoots()[1]);

    decoder.requireWholeBuffer(true);
    EXPECT_FALSE(decoder.decode(bytes.data(), bytes.size()));
    EXPECT_EQ(decoder.getError(), "1 unexpected bytes after the scene block");
}

TEST_F(OsbFile, UnknownFieldsAreSkippedAndMissingOnesKeepDefaults)
{
    BlockBuilder b;
    b.root(b.record("Node"));
    b.field("Core", BlockBuilder::u32s({2})).field("Colour", BlockBuilder::text("red"));
    b.record("Transform3D");
    b.field("Scale", BlockBuilder::u32s({0x40000000, 0x40000000, 0x40000000}));
    NodeRefPtr read = readBytes(b.file());
    ASSERT_TRUE(read) << SceneFileHandler::the().getLastError();
    Transform3DPtr core = Transform3DPtr::dcast(read->getCore());
    ASSERT_TRUE(core);
    EXPECT_EQ(core->getScale(), Vec3f(2, 2, 2));
    EXPECT_EQ(read->getTravMask(), ~UInt32(0)) << "a field the file lacks keeps its default";
}

TEST_F(OsbFile, EveryTruncationFailsCleanly)
{
    for (const Bytes* file : {&valid, &validCompressed})
        for (std::size_t length = 0; length < file->size(); ++length) {
            SCOPED_TRACE(length);
            expectRejected(Bytes(file->begin(), file->begin() + std::ptrdiff_t(length)), "");
        }
}

TEST_F(OsbFile, FlippedBitsNeverCrashOrLeak)
{
    std::mt19937 random(20240611);
    int rejected = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes = round % 3 == 0 ? validCompressed : valid;
        const int flips = 1 + int(random() % 3);
        for (int i = 0; i < flips; ++i)
            bytes[random() % bytes.size()] ^= UInt8(1u << (random() % 8));
        NodeRefPtr read = readBytes(bytes);
        if (!read) {
            ++rejected;
            ASSERT_FALSE(SceneFileHandler::the().getLastError().empty());
            continue;
        }
        // A flip that still reads (inside a value) gives a scene that writes back.
        EXPECT_FALSE(SceneFileHandler::the().writeToMemory(read).empty());
    }
    EXPECT_GT(rejected, 1000);
    EXPECT_EQ(FieldContainerFactory::the()->getNumLiveContainers(), liveBefore);
}

TEST_F(OsbFile, BadHeadersSizesAndReferencesAreRefusedWithTheirPlace)
{
    using Make = std::function<Bytes()>;
    // Builds a file from records alone.
    auto records = [](std::function<void(BlockBuilder&)> fill) {
        return [fill] {
            BlockBuilder b;
            fill(b);
            return b.file();
        };
    };
    auto u32s = BlockBuilder::u32s;
    auto patchedBlock = [](std::function<void(Bytes&)> patch) {
        return [patch] {
            Bytes block = BlockBuilder().block();
            patch(block);
            return BlockBuilder::wrapInFile(block);
        };
    };
    const std::vector<std::tuple<const char*, Make, const char*>> cases = {
        {"file too new", [] { return BlockBuilder::wrapInFile(BlockBuilder().block(), 1, 1); },
         "file header: version 1.1 is not readable"},
        {"file major", [] { return BlockBuilder::wrapInFile(BlockBuilder().block(), 2, 0); }, "version 2.0"},
        {"file too old", [] { return BlockBuilder::wrapInFile(BlockBuilder().block(), 0, 9); }, "version 0.9"},
        {"block too new", records([](BlockBuilder& b) { b.version(1, 3); }),
         "scene block header: version 1.3 is not readable"},
        {"magic", [this] { Bytes b = valid; b[1] = 'X'; return b; }, "not an .osb file"},
        // Huge lengths and counts are caught before anything is allocated.
        {"field length", records([](BlockBuilder& b) {
             b.root(b.record("Transform"));
             b.rawField("Matrix", UInt64(1) << 62, Bytes(64, 0));
         }), "record 1 (Transform).Matrix: truncated"},
        {"short value", records([](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.record("Transform");
             b.field("Matrix", Bytes(10, 0));
         }), "record 2 (Transform).Matrix: truncated"},
        {"string count", patchedBlock([](Bytes& b) { b[16] = b[17] = b[18] = b[19] = 0xFF; }),
         "string table: too many strings (4294967295)"},
        // No strings: the record count follows the string count.
        {"record count", patchedBlock([](Bytes& b) { b[20] = b[21] = b[22] = 0xFF; }), "records: too many records"},
        {"block length", patchedBlock([](Bytes& b) { b[15] = 0x7F; }), "scene block header: truncated"},
        {"array length", records([](BlockBuilder& b) {
             b.root(b.record("Geometry"));
             b.field("Positions", Bytes(13, 0));
         }), "record 1 (Geometry).Positions: length is not a whole number of elements"},
        {"compressed size", [] {
             Bytes file = BlockBuilder::wrapInFile({});
             file[12] = 1; // compressed
             const UInt64 claimed = UInt64(1) << 40;
             const auto* p = reinterpret_cast<const UInt8*>(&claimed);
             file.insert(file.end(), p, p + 8);
             return file;
         }, "exceeds the limit"},
        {"dangling core", records([&](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.field("Core", u32s({9}));
         }), "record 1 (Node).Core: refers to record 9, which does not exist"},
        {"dangling child", records([&](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.field("Children", u32s({0}));
         }), "record 1 (Node).Children: empty entry in a list"},
        {"wrong target type", records([&](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.field("Core", u32s({2}));
             b.record("FileReference");
         }), "record 1 (Node).Core: record 2 (FileReference) is not a NodeCore"},
        {"environment cycle", records([&](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.field("Core", u32s({2}));
             b.record("Geometry");
             b.field("Material", u32s({3}));
             b.record("UBRDFMaterial");
             b.field("Environment", u32s({4}));
             b.record("UBRDFMaterial");
             b.field("Environment", u32s({3}));
         }), "record 3 (UBRDFMaterial): reference cycle through record 4 (UBRDFMaterial)"},
        {"node loop", records([&](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.record("Node");
             b.field("Children", u32s({3}));
             b.record("Node");
             b.field("Children", u32s({2}));
         }), "record 2 (Node): not reachable from any root"},
        {"two parents", records([&](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.field("Children", u32s({2, 3}));
             b.record("Node");
             b.field("Children", u32s({4}));
             b.record("Node");
             b.field("Children", u32s({4}));
             b.record("Node");
         }), "record 4 (Node): child of both record 2 and record 3"},
        {"root with a parent", records([&](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.field("Children", u32s({1}));
         }), "roots: record 1 (Node) is also the child of record 1"},
        {"unreachable record", records([](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.record("Group");
         }), "record 2 (Group): not reachable from any root"},
        {"unknown type", records([](BlockBuilder& b) { b.root(b.record("Teapot")); }),
         "record 1: unknown type 'Teapot'"},
        {"abstract type", records([](BlockBuilder& b) { b.root(b.record("NodeCore")); }),
         "record 1 (NodeCore): abstract type"},
        {"field twice", records([&](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.field("Flags", u32s({1})).field("Flags", u32s({2}));
         }), "record 1 (Node).Flags: appears twice"},
        {"attachment binding", records([&](BlockBuilder& b) {
             b.root(b.record("Node"));
             b.field("Attachments", u32s({0x10000, 2}));
             b.record("Name");
         }), "record 1 (Node).Attachments: attachment binding out of range"},
        {"root is not a node", records([](BlockBuilder& b) { b.root(b.record("Group")); }), "exactly one root Node"},
        {"no root", records([](BlockBuilder&) {}), "exactly one root Node"},
        // The compressed frame must hold exactly the announced block.
        {"frame too short", [this] { Bytes b = validCompressed; reinterpret_cast<UInt64&>(b[16]) += 1; return b; },
         "compressed data"},
        {"frame too long", [this] { Bytes b = validCompressed; reinterpret_cast<UInt64&>(b[16]) -= 1; return b; },
         "more than the announced block size"},
        {"trailing byte", [this] { Bytes b = validCompressed; b.push_back(0); return b; }, "compressed data"},
    };
    for (const auto& [what, make, expected] : cases) {
        SCOPED_TRACE(what);
        expectRejected(make(), expected);
    }
}

TEST_F(OsbFile, NestingIsCappedButAllowedUpToTheLimit)
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
    EXPECT_TRUE(readBytes(chain(10000))) << SceneFileHandler::the().getLastError();
    expectRejected(chain(10001), "nested deeper than 10000 levels");
}

} // namespace
