// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/SceneGraph.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

// An assembly that uses every kind of field, sharing, materials, attachments
// and a nested reference:
//
// root "Root" (Group, FileInfo "C:/cad/engine.CATProduct" at binding 2)
// +- wheelA "Wheel" (Transform3D `wheelCore`, FileInfo "/cad/wheel.stp")   } clones
// |  +- rim "Rim" (Geometry `rimGeo` -> paint -> studio; node fields set)  }
// +- wheelB "Wheel" (Transform3D `wheelCore`)                              }
// |  +- clone of rim                                                       }
// +- sub "Sub" (ExtReference `subCore`: smart "/refs/sub.zmb", source "/cad/sub.stp")
// |  +- bolt "Bolt" (Geometry -> paint)
// +- tinted "Tinted" (MaterialGroup -> paint)
//    +- camera "Camera" (UberCamera)
struct AssemblyScene {
    osg::NodeRefPtr root, wheelA, wheelB, rim, sub, bolt, tinted, camera;
    osg::Transform3DRefPtr wheelCore;
    osg::GeometryRefPtr rimGeo;
    osg::ExtReferenceRefPtr subCore;
    osg::UBRDFMaterialRefPtr paint;
    osg::UEnvironmentMaterialRefPtr studio;

    explicit AssemblyScene(std::size_t rimVertices = 4)
    {
        using namespace osg;
        root = node(Group::create(), "Root");
        root->addAttachment(fileInfo("C:/cad/engine.CATProduct"), 2);
        studio = UEnvironmentMaterial::create();
        studio->setImagePath("studio.hdr");
        studio->setExposure(1.5f);
        paint = UBRDFMaterial::create();
        paint->setEnvironment(studio);
        paint->setDiffuseColor({0.7f, 0.1f, 0.1f});
        setName(paint.get(), "Paint");

        wheelCore = Transform3D::create();
        wheelCore->setTranslation({1, 0, 0});
        wheelCore->setRotation({0, 0, 90});
        wheelCore->setScale({1, 2, 1});
        rimGeo = Geometry::create();
        std::vector<Vec3f> positions(rimVertices);
        std::vector<UInt32> indices;
        for (std::size_t i = 0; i < rimVertices; ++i) {
            positions[i] = Vec3f(float(i), float(i % 7), float(i % 13) * 0.5f);
            indices.push_back(UInt32(i));
        }
        rimGeo->setPositions(std::move(positions));
        rimGeo->setIndices(std::move(indices));
        rimGeo->setMaterial(paint);
        wheelA = node(wheelCore, "Wheel");
        wheelA->addAttachment(fileInfo("/cad/wheel.stp"));
        rim = node(rimGeo, "Rim");
        rim->setFlags(0x1000);
        rim->setTravMask(0xF0);
        rim->setExternalFlags(0x40);
        rim->setIndex(-3);
        wheelA->addChild(rim);
        wheelB = node(wheelCore, "Wheel");
        wheelB->addChild(NodeUtils::cloneTree(rim));

        subCore = ExtReference::create();
        subCore->setTranslation({1, 2, 3});
        subCore->setState(2);
        FileReferenceRefPtr smart = FileReference::create();
        smart->setPath("/refs/sub.zmb");
        FileReferenceRefPtr source = FileReference::create();
        source->setPath("/cad/sub.stp");
        source->setRelativePath("../cad/sub.stp");
        source->setOwner("anna");
        source->setState(1);
        source->setChecksum(0xDEADBEEF);
        source->setLastModified(1700000000);
        source->setImportDate(1700000100);
        subCore->setSmartFile(smart);
        subCore->setSourceFile(source);
        sub = node(subCore, "Sub");
        GeometryRefPtr boltGeo = Geometry::create();
        boltGeo->setPositions({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
        boltGeo->setIndices({0, 1, 2});
        boltGeo->setMaterial(paint);
        bolt = node(boltGeo, "Bolt");
        sub->addChild(bolt);

        MaterialGroupRefPtr group = MaterialGroup::create();
        group->setMaterial(paint);
        tinted = node(group, "Tinted");
        UberCameraRefPtr lens = UberCamera::create();
        lens->setFieldOfView(30);
        camera = node(lens, "Camera");
        tinted->addChild(camera);

        for (const NodeRefPtr& child : {wheelA, wheelB, sub, tinted})
            root->addChild(child);
    }

    static osg::NodeRefPtr node(osg::NodeCoreRefPtr core, const std::string& name)
    {
        osg::NodeRefPtr n = osg::Node::create();
        n->setCore(std::move(core));
        osg::setName(n.get(), name);
        return n;
    }

    static osg::FileInfoRefPtr fileInfo(const std::string& path)
    {
        osg::FileInfoRefPtr info = osg::FileInfo::create();
        info->setPath(path);
        return info;
    }

    // Checks that `read`, written from this scene and read back, has its
    // structure, sharing and values. Identical bytes on a second write miss
    // a field that the writer and the reader both forget.
    void expectReadBack(const osg::NodePtr& read) const
    {
        using namespace osg;
        ASSERT_TRUE(read);
        ASSERT_EQ(read->getNChildren(), 4u);
        const NodePtr a = read->getChild(0), b = read->getChild(1), s = read->getChild(2), t = read->getChild(3);
        EXPECT_EQ(getName(read), "Root");
        const UInt32 infoGroup = FileInfo::getClassType().getGroupId();
        const FileInfoPtr rootInfo = FileInfoPtr::dcast(read->findAttachment(infoGroup, 2));
        ASSERT_TRUE(rootInfo);
        EXPECT_EQ(rootInfo->getPath(), "C:/cad/engine.CATProduct");
        const FileInfoPtr wheelInfo = FileInfoPtr::dcast(a->findAttachment(infoGroup));
        ASSERT_TRUE(wheelInfo);
        EXPECT_EQ(wheelInfo->getPath(), "/cad/wheel.stp");

        const Transform3DPtr wheel = Transform3DPtr::dcast(a->getCore());
        ASSERT_TRUE(wheel);
        EXPECT_EQ(b->getCore(), wheel) << "clones share one core";
        EXPECT_EQ(std::make_tuple(wheel->getTranslation(), wheel->getRotation(), wheel->getScale()),
                  std::make_tuple(Vec3f(1, 0, 0), Vec3f(0, 0, 90), Vec3f(1, 2, 1)));
        ASSERT_EQ(b->getNChildren(), 1u);
        const NodePtr rimNode = a->getChild(0);
        EXPECT_EQ(b->getChild(0)->getCore(), rimNode->getCore());
        EXPECT_EQ(getName(b->getChild(0)), "Rim");
        EXPECT_EQ(std::make_tuple(rimNode->getFlags(), rimNode->getTravMask(), rimNode->getExternalFlags(),
                                  rimNode->getIndex()),
                  std::make_tuple(0x1000u, 0xF0u, 0x40u, -3));
        const GeometryPtr geo = GeometryPtr::dcast(rimNode->getCore());
        ASSERT_TRUE(geo);
        EXPECT_EQ(geo->getPositions(), rimGeo->getPositions());
        EXPECT_EQ(geo->getIndices(), rimGeo->getIndices());

        const UBRDFMaterialPtr brdf = UBRDFMaterialPtr::dcast(geo->getMaterial());
        ASSERT_TRUE(brdf);
        EXPECT_EQ(getName(brdf), "Paint");
        EXPECT_EQ(brdf->getDiffuseColor(), Vec3f(0.7f, 0.1f, 0.1f));
        const MaterialGroupPtr group = MaterialGroupPtr::dcast(t->getCore());
        ASSERT_TRUE(group);
        EXPECT_EQ(group->getMaterial(), brdf) << "one material shared by geometry and group";
        const UEnvironmentMaterialPtr env = UEnvironmentMaterialPtr::dcast(brdf->getEnvironment());
        ASSERT_TRUE(env);
        EXPECT_EQ(env->getImagePath(), "studio.hdr");
        EXPECT_FLOAT_EQ(env->getExposure(), 1.5f);
        ASSERT_EQ(t->getNChildren(), 1u);
        EXPECT_FLOAT_EQ(UberCameraPtr::dcast(t->getChild(0)->getCore())->getFieldOfView(), 30);

        const ExtReferencePtr ext = ExtReferencePtr::dcast(s->getCore());
        ASSERT_TRUE(ext && ext->getSmartFile() && ext->getSourceFile());
        EXPECT_EQ(ext->getTranslation(), Vec3f(1, 2, 3));
        EXPECT_EQ(ext->getState(), 2u);
        EXPECT_EQ(ext->getSmartFile()->getPath(), "/refs/sub.zmb");
        const FileReferencePtr src = ext->getSourceFile();
        EXPECT_EQ(std::make_tuple(src->getPath(), src->getRelativePath(), src->getOwner()),
                  std::make_tuple(std::string("/cad/sub.stp"), std::string("../cad/sub.stp"), std::string("anna")));
        EXPECT_EQ(std::make_tuple(src->getState(), src->getChecksum(), src->getLastModified(), src->getImportDate()),
                  std::make_tuple(1u, 0xDEADBEEFu, 1700000000u, 1700000100u));
        ASSERT_EQ(s->getNChildren(), 1u);
        EXPECT_EQ(GeometryPtr::dcast(s->getChild(0)->getCore())->getMaterial(), brdf);
    }
};
