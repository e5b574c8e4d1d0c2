// Licensed under the MIT licence; see LICENSE.
#include "BlockBuilder.h"
#include "SampleScene.h"

#include "scenegraph/SceneDecoder.h"
#include "scenegraph/SceneEncoder.h"
#include "scenegraph/SceneFileHandler.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace osg;
namespace fs = std::filesystem;

namespace {

std::vector<UInt8> fileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<UInt8>(std::istreambuf_iterator<char>(in), {});
}

class OsbRoundTrip : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("osb-test-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        ExtReference::setAddToPoolCallback(nullptr);
        ExtReference::setUpdateInPoolCallback(nullptr);
        fs::remove_all(dir);
    }

    fs::path dir;
};

TEST_F(OsbRoundTrip, WriteReadWriteGivesIdenticalBytesAndTheSameScene)
{
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "compressed" : "plain");
        const fs::path first = dir / "first.osb";
        const fs::path second = dir / "second.osb";
        NodeRefPtr read;
        {
            SampleScene scene;
            ASSERT_TRUE(SceneFileHandler::the().write(scene.root, first.string(), compressed))
                << SceneFileHandler::the().getLastError();
            read = SceneFileHandler::the().read(first.string());
            ASSERT_TRUE(read) << SceneFileHandler::the().getLastError();
        }
        ASSERT_TRUE(SceneFileHandler::the().write(read, second.string(), compressed));
        EXPECT_EQ(fileBytes(first), fileBytes(second));

        // Structure, sharing and values came back.
        ASSERT_EQ(read->getNChildren(), 4u);
        NodePtr left = read->getChild(0), right = read->getChild(1), painted = read->getChild(2);
        EXPECT_EQ(getName(read), "Root");
        EXPECT_EQ(getName(right), "Right");
        ExtReferencePtr ext = ExtReferencePtr::dcast(left->getCore());
        ASSERT_TRUE(ext);
        EXPECT_EQ(right->getCore(), ext) << "a shared core stays shared";
        EXPECT_EQ(ext->getParents(), (std::vector<NodePtr>{left, right}));
        EXPECT_EQ(ext->getTranslation(), Vec3f(1, 2, 3));
        EXPECT_EQ(ext->getState(), 2u);
        FileReferencePtr source = ext->getSourceFile();
        ASSERT_TRUE(source);
        EXPECT_EQ(source->getPath(), "/cad/wheel.stp");
        EXPECT_EQ(source->getRelativePath(), "../cad/wheel.stp");
        EXPECT_EQ(source->getOwner(), "anna");
        EXPECT_EQ(source->getState(), 1u);
        EXPECT_EQ(source->getChecksum(), 0xDEADBEEFu);
        EXPECT_EQ(source->getLastModified(), 1700000000u);
        EXPECT_EQ(source->getImportDate(), 1700000100u);
        EXPECT_EQ(ext->getSmartFile()->getPath(), "/refs/wheel.osb");

        NodePtr body = left->getChild(0);
        GeometryPtr geo = GeometryPtr::dcast(body->getCore());
        ASSERT_TRUE(geo);
        EXPECT_EQ(geo->getIndices(), (std::vector<UInt32>{0, 1, 2, 2, 1, 3}));
        EXPECT_EQ(geo->getPositions()[3], Vec3f(1, 1, 0));
        EXPECT_EQ(body->getFlags(), 0x1000u);
        EXPECT_EQ(body->getTravMask(), 0xF0u);
        EXPECT_EQ(body->getExternalFlags(), 5u);
        EXPECT_EQ(body->getIndex(), -3);
        UBRDFMaterialPtr brdf = UBRDFMaterialPtr::dcast(geo->getMaterial());
        ASSERT_TRUE(brdf);
        EXPECT_EQ(MaterialGroupPtr::dcast(painted->getCore())->getMaterial(), brdf) << "a shared material stays shared";
        EXPECT_EQ(brdf->getDiffuseColor(), Vec3f(0.1f, 0.2f, 0.3f));
        UEnvironmentMaterialPtr env = UEnvironmentMaterialPtr::dcast(brdf->getEnvironment());
        ASSERT_TRUE(env);
        EXPECT_EQ(env->getImagePath(), "studio.hdr");
        FileInfoPtr info = FileInfoPtr::dcast(read->findAttachment(FileInfo::getClassType().getGroupId(), 2));
        ASSERT_TRUE(info);
        EXPECT_EQ(info->getPath(), "C:/cad/engine.CATProduct");
        EXPECT_FLOAT_EQ(UberCameraPtr::dcast(painted->getChild(0)->getCore())->getFieldOfView(), 30);
        EXPECT_EQ(Transform3DPtr::dcast(read->getChild(3)->getCore())->getScale(), Vec3f(1, 2, 1));
    }
}

TEST_F(OsbRoundTrip, ReadContainersAreAnnouncedAndPublished)
{
    std::vector<std::string> calls;
    ExtReference::setAddToPoolCallback([&](const ExtReferencePtr& e) {
        calls.push_back("add smart=" + std::string(e->getSmartFile() ? e->getSmartFile()->getPath() : "none"));
    });
    ExtReference::setUpdateInPoolCallback([&](const ExtReferencePtr& e) {
        calls.push_back("update smart=" + e->getSmartFile()->getPath());
    });
    std::vector<UInt8> bytes;
    {
        SampleScene scene;
        bytes = SceneFileHandler::the().writeToMemory(scene.root);
    }
    calls.clear();
    NodeRefPtr read = SceneFileHandler::the().readFromMemory(bytes.data(), bytes.size());
    ASSERT_TRUE(read);
    EXPECT_EQ(calls, (std::vector<std::string>{"add smart=none", "update smart=/refs/wheel.osb"}))
        << "one shared core: announced once when made, published once when filled";
}

TEST_F(OsbRoundTrip, WritingReplacesTheTargetAtOnceAndLeavesNothingBehind)
{
    const fs::path target = dir / "scene.osb";
    {
        std::ofstream(target) << "previous";
    }
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

TEST_F(OsbRoundTrip, EncoderAndDecoderWorkOnBlocksInMemory)
{
    // Several roots of any type, with bytes of another format after the block.
    UBRDFMaterialRefPtr brdf = UBRDFMaterial::create();
    NodeRefPtr node = Node::create();
    GeometryRefPtr geo = Geometry::create();
    geo->setMaterial(brdf);
    node->setCore(geo);
    const SceneEncoder encoder({node, brdf});
    std::vector<UInt8> bytes = encoder.toBytes();
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

TEST_F(OsbRoundTrip, UnknownFieldsAreSkippedAndMissingOnesKeepDefaults)
{
    // A node that names its core and a field this version does not know, and
    // a transform that sets only its scale.
    BlockBuilder full;
    const UInt32 n2 = full.record("Node");
    full.field("Core", BlockBuilder::u32s({2})).field("Colour", BlockBuilder::text("red"));
    full.record("Transform3D");
    full.field("Scale", BlockBuilder::u32s({0x40000000, 0x40000000, 0x40000000}));
    full.root(n2);

    const auto bytes = full.file();
    NodeRefPtr read = SceneFileHandler::the().readFromMemory(bytes.data(), bytes.size());
    ASSERT_TRUE(read) << SceneFileHandler::the().getLastError();
    Transform3DPtr core = Transform3DPtr::dcast(read->getCore());
    ASSERT_TRUE(core);
    EXPECT_EQ(core->getScale(), Vec3f(2, 2, 2));
    EXPECT_EQ(read->getTravMask(), ~UInt32(0)) << "a field the file lacks keeps its default";
}

} // namespace
