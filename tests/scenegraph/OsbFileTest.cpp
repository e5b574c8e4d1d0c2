// Licensed under the MIT licence; see LICENSE.
#include "AssemblyScene.h"
#include "BlockBuilder.h"
#include "FileSizeLimit.h"
#include "IdenticalNodes.h"
#include "ZstdBomb.h"

#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/SceneFileHandler.h"
#include "scenegraph/ZstdUnpack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

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
    void TearDown() override { fs::remove_all(dir); }

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
    EXPECT_EQ(FieldContainerFactory::the()->getNumLiveContainers(), liveBefore) << "both scenes freed everything";
}

// root
// +- 40 nodes, each over a geometry of its own; all share one material. The
//    first geometry holds arrays of several MiB, the others one triangle.
TEST_F(OsbFile, LargeArraysAndWidelySharedContainersReadBackFromFilesAndMemoryAlike)
{
    NodeRefPtr root = Node::create();
    UBRDFMaterialRefPtr material = UBRDFMaterial::create();
    std::vector<Vec3f> positions(300000);
    for (std::size_t i = 0; i < positions.size(); ++i)
        positions[i] = Vec3f(float(i), float(i % 7), -float(i));
    std::vector<UInt32> indices(positions.size());
    for (std::size_t i = 0; i < indices.size(); ++i)
        indices[i] = UInt32(indices.size() - 1 - i);
    for (int g = 0; g < 40; ++g) {
        GeometryRefPtr geometry = Geometry::create();
        geometry->setPositions(g == 0 ? positions : std::vector<Vec3f>{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
        geometry->setIndices(g == 0 ? indices : std::vector<UInt32>{0, 1, 2});
        geometry->setMaterial(material);
        NodeRefPtr node = Node::create();
        node->setCore(geometry);
        root->addChild(node);
    }
    const fs::path path = dir / "large.osb";
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "compressed" : "plain");
        ASSERT_TRUE(SceneFileHandler::the().write(root, path.string(), compressed));
        for (NodeRefPtr read : {SceneFileHandler::the().read(path.string()), readBytes(fileBytes(path))}) {
            ASSERT_TRUE(read);
            ASSERT_EQ(read->getNChildren(), 40u);
            const auto first = GeometryPtr::dcast(read->getChild(0)->getCore());
            EXPECT_EQ(first->getPositions(), positions);
            EXPECT_EQ(first->getIndices(), indices);
            const MaterialPtr shared = first->getMaterial();
            EXPECT_EQ(shared->getUsers().size(), 40u);
            // The list read in one go still follows later edits.
            read->subChild(UInt32(0));
            read->subChild(UInt32(0));
            EXPECT_EQ(shared->getUsers().size(), 38u);
            EXPECT_EQ(shared->getUsers().front(), read->getChild(0)->getCore());
        }
    }
}

// Containers are made as the build reaches them, yet number in the order
// the file lists them (the writer's pre-order): a node before its own core
// and its children, and a child's whole subtree before the next child, all
// within the ids the read took.
TEST_F(OsbFile, ReadContainersNumberInTheFilesOrder)
{
    const UInt32 before = FieldContainerFactory::the()->getNextId();
    const NodeRefPtr root = readBytes(valid);
    ASSERT_TRUE(root);
    const UInt32 after = FieldContainerFactory::the()->getNextId();
    int nodes = 0;
    // The highest node id in the subtree.
    const std::function<UInt32(const NodePtr&)> check = [&](const NodePtr& node) {
        ++nodes;
        const UInt32 id = node.getFieldContainerId();
        EXPECT_TRUE(id >= before && id < after);
        // A shared core comes after the first node that shows it.
        if (node->getCore() && node->getCore()->getParents().size() == 1) {
            EXPECT_GT(node->getCore().getFieldContainerId(), id) << "the core after its node";
        }
        UInt32 highest = id;
        for (UInt32 i = 0; i < node->getNChildren(); ++i) {
            EXPECT_GT(node->getChild(i).getFieldContainerId(), highest) << "after the previous child's subtree";
            highest = check(node->getChild(i));
        }
        return highest;
    };
    check(root.get());
    EXPECT_GT(nodes, 3);
}

// Writing replaces the target only once the new file is complete: a disk
// that fills up during the write leaves the previous file, and neither the
// temporary file nor its descriptor stays behind.
TEST_F(OsbFile, WritingReplacesTheTargetOnlyWhenCompleteAndLeavesNothingBehind)
{
    const fs::path target = dir / "scene.osb";
    std::ofstream(target) << "previous";
    AssemblyScene scene(20000);
    const int descriptors = FileSizeLimit::openDescriptors();
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "compressed" : "plain");
        const FileSizeLimit limit(4096);
        EXPECT_FALSE(SceneFileHandler::the().write(scene.root, target.string(), compressed));
        EXPECT_NE(SceneFileHandler::the().getLastError().find(target.string()), std::string::npos);
    }
    EXPECT_EQ(FileSizeLimit::openDescriptors(), descriptors);
    EXPECT_EQ(fileBytes(target), Bytes({'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'}));
    EXPECT_FALSE(SceneFileHandler::the().write(NullFC, target.string()));
    ASSERT_TRUE(SceneFileHandler::the().write(scene.root, target.string()));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "no temporary file left";

    const fs::path nowhere = dir / "missing" / "scene.osb";
    EXPECT_FALSE(SceneFileHandler::the().write(scene.root, nowhere.string()));
    EXPECT_NE(SceneFileHandler::the().getLastError().find(nowhere.string()), std::string::npos);
    EXPECT_FALSE(SceneFileHandler::the().read(nowhere.string()));
    EXPECT_NE(SceneFileHandler::the().getLastError().find("cannot open"), std::string::npos);
}

TEST_F(OsbFile, UnknownFieldsAreSkippedAndMissingOnesKeepDefaults)
{
    BlockBuilder b;
    b.root(b.record("Node"));
    b.field("Core", BlockBuilder::u32s({2})).field("Colour", BlockBuilder::u32s({0xFF0000}));
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

TEST_F(OsbFile, BadHeadersSizesAndReferencesAreRefusedWithTheirPlace)
{
    // A file of records, each with at most one field that lists records; the first is the root.
    struct Record {
        const char* type;
        const char* field = "";
        std::vector<UInt32> ids = {};
    };
    auto records = [](const std::vector<Record>& list) {
        BlockBuilder b;
        for (const Record& r : list)
            b.record(r.type, r.field, r.ids);
        return b.root(1).file();
    };
    BlockBuilder hugeField, oddArray;
    Bytes tooNew = BlockBuilder().block();
    tooNew[6] = 3; // minor version
    hugeField.root(hugeField.record("Transform"));
    hugeField.field("Matrix", Bytes(64, 0), UInt64(1) << 62);
    oddArray.root(oddArray.record("Geometry"));
    oddArray.field("Positions", Bytes(13, 0));
    Bytes hugeStringCount = BlockBuilder().block();
    std::fill_n(hugeStringCount.begin() + 16, 4, 0xFF);
    Bytes hugeFrame = BlockBuilder::wrapInFile({});
    hugeFrame[12] = 1; // compressed, announcing 2^40 bytes
    hugeFrame.insert(hugeFrame.end(), {0, 0, 0, 0, 0, 1, 0, 0});
    // The compressed frame must hold exactly the announced block.
    Bytes longFrame = validCompressed;
    reinterpret_cast<UInt64&>(longFrame[16]) -= 1;
    Bytes badMagic = valid;
    badMagic[1] = 'X';

    const std::vector<std::tuple<const char*, Bytes, const char*>> cases = {
        {"file too new", BlockBuilder::wrapInFile(BlockBuilder().block(), 1, 1),
         "file header: version 1.1 is not readable"},
        {"block too new", BlockBuilder::wrapInFile(tooNew), "scene block header: version 1.3 is not readable"},
        {"magic", badMagic, "not an .osb file"},
        {"frame too long", longFrame, "compressed data: more than the announced"},
        // Huge lengths and counts are caught before anything is allocated.
        {"compressed size", hugeFrame, "exceeds the limit"},
        {"string count", BlockBuilder::wrapInFile(hugeStringCount), "string table: too many strings (4294967295)"},
        {"field length", hugeField.file(), "record 1 (Transform).Matrix: truncated"},
        {"array length", oddArray.file(), "record 1 (Geometry).Positions: length is not a whole number of elements"},
        {"dangling core", records({{"Node", "Core", {9}}}),
         "record 1 (Node).Core: refers to record 9, which does not exist"},
        {"empty child", records({{"Node", "Children", {0}}}), "record 1 (Node).Children: empty entry in a list"},
        {"wrong target type", records({{"Node", "Core", {2}}, {"FileReference"}}),
         "record 1 (Node).Core: record 2 (FileReference) is not a NodeCore"},
        {"environment cycle",
         records({{"Node", "Core", {2}}, {"Geometry", "Material", {3}}, {"UBRDFMaterial", "Environment", {4}},
                  {"UBRDFMaterial", "Environment", {3}}}),
         "record 3 (UBRDFMaterial): reference cycle through record 4 (UBRDFMaterial)"},
        {"node loop", records({{"Node"}, {"Node", "Children", {3}}, {"Node", "Children", {2}}}),
         "record 2 (Node): not reachable from any root"},
        {"two parents",
         records({{"Node", "Children", {2, 3}}, {"Node", "Children", {4}}, {"Node", "Children", {4}}, {"Node"}}),
         "record 4 (Node): child of both record 2 and record 3"},
        {"root with a parent", records({{"Node", "Children", {1}}}),
         "roots: record 1 (Node) is also the child of record 1"},
        {"unknown type", records({{"Teapot"}}), "record 1: unknown type 'Teapot'"},
        {"abstract type", records({{"NodeCore"}}), "record 1 (NodeCore): abstract type"},
        {"root is not a node", records({{"Group"}}), "exactly one root Node"},
    };
    for (const auto& [what, bytes, expected] : cases) {
        SCOPED_TRACE(what);
        expectRejected(bytes, expected);
    }
}

// A compressed block is believed up to 8 times its stored size and
// unpacked no further than announced; the writer stores as it is a block
// that would pack tighter, so whatever it writes reads back.
TEST_F(OsbFile, CompressedBlocksAreBoundedByTheirStoredSize)
{
    const Bytes frame = zstdRleFrame(8192); // 33 KB that unpack to 1 GiB
    const auto bomb = [&](UInt64 announced) {
        Bytes file = BlockBuilder::wrapInFile({});
        file[12] = 1; // compressed
        const auto* size = reinterpret_cast<const UInt8*>(&announced);
        file.insert(file.end(), size, size + 8);
        file.insert(file.end(), frame.begin(), frame.end());
        return file;
    };
    expectRejected(bomb(UInt64(1) << 30), "compressed data: announces 1073741824 bytes from 32774 (more than 8 to 1)");
    expectRejected(bomb(frame.size() * 8), "compressed data: more than the announced 262192 bytes");

    const NodeRefPtr root = identicalNodes(20000);
    const Bytes written = SceneFileHandler::the().writeToMemory(root, true);
    EXPECT_EQ(written[12], 0) << "stored as it is";
    const NodeRefPtr read = readBytes(written);
    ASSERT_TRUE(read) << SceneFileHandler::the().getLastError();
    EXPECT_EQ(read->getNChildren(), 20000u);
}

// Tens of megabytes packed about 7 to 1 unpack whole: the output grows from
// four times the stored size, past the size where it asks for huge pages,
// and the larger mapping must still hold every byte. A frame of raw blocks
// (16 KiB of noise) and RLE blocks (96 KiB of one byte), made by hand.
TEST(CompressedData, ManyMegabytesUnpackWhole)
{
    std::vector<UInt8> frame{0x28, 0xB5, 0x2F, 0xFD, 0x00, 0x38};
    std::vector<UInt8> expected;
    const auto header = [&](bool last, UInt32 type, UInt32 size) {
        const UInt32 h = (last ? 1u : 0u) | type << 1 | size << 3;
        frame.insert(frame.end(), {UInt8(h), UInt8(h >> 8), UInt8(h >> 16)});
    };
    UInt32 noise = 16;
    const int pairs = 240;
    for (int i = 0; i < pairs; ++i) {
        header(false, 0, 16 << 10);
        for (int b = 0; b < (16 << 10); ++b) {
            noise = noise * 1664525u + 1013904223u;
            frame.push_back(UInt8(noise >> 24));
            expected.push_back(UInt8(noise >> 24));
        }
        header(i + 1 == pairs, 1, 96 << 10);
        frame.push_back(UInt8(i));
        expected.insert(expected.end(), std::size_t(96) << 10, UInt8(i));
    }
    PageBuffer out;
    std::string error;
    ASSERT_TRUE(unpackZstdFrame(frame.data(), frame.size(), expected.size(), out, error)) << error;
    ASSERT_EQ(out.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.data()));
}

TEST_F(OsbFile, NestingIsCappedButAllowedUpToTheLimit)
{
    auto chain = [](UInt32 depth) {
        BlockBuilder b;
        for (UInt32 i = 1; i < depth; ++i)
            b.record("Node", "Children", {i + 1});
        b.record("Node");
        b.root(1);
        return b.file();
    };
    EXPECT_TRUE(readBytes(chain(10000))) << SceneFileHandler::the().getLastError();
    expectRejected(chain(10001), "nested deeper than 10000 levels");
}

} // namespace
