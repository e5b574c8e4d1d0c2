// Licensed under the MIT licence; see LICENSE.
#include "SceneTestSupport.h"

#include "nodeutils/ksMaterials.h"
#include "nodeutils/ksNodeUtils.h"
#include "scene/ksFastGeometryLoader.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/SceneFileHandler.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace osg;

TEST(Scenegraph, RootIsRegisteredAndUpdatesAreFoldedPerEventLoopTurn)
{
    // The root first: the scene makes it on first use.
    const NodePtr root = ksScenegraph::getRoot();
    EXPECT_EQ(NodeUtils::getSceneRoot(), root);
    EXPECT_FALSE(ksScenegraph::deleteNode(ksScenegraph::getRoot()));

    QSignalSpy updated(ksScenegraph::instance(), &ksScenegraph::updated);
    ksScenegraph::update(false);
    ksScenegraph::update(false);
    EXPECT_EQ(updated.count(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(updated.count(), 1);
    ksScenegraph::update(true);
    EXPECT_EQ(updated.count(), 2);
}

TEST(Scenegraph, UnshareNodeCopiesSharedContentOnly)
{
    AssemblyScene scene;
    // A second user of sub's reference core, and a core shared inside sub.
    NodeRefPtr subClone = AssemblyScene::node(scene.subCore, "SubClone");
    scene.root->addChild(subClone);
    scene.sub->addChild(NodeUtils::cloneTree(scene.bolt.get()));
    scene.root->addChild(NodeUtils::cloneTree(scene.bolt.get()));

    EXPECT_FALSE(ksScenegraph::unshareNode(scene.tinted.get(), ksScenegraph::UnshareSubtree, false, false));
    EXPECT_EQ(ksScenegraph::unshareNode(scene.sub.get(), ksScenegraph::UnshareNodeCore, false, false), scene.sub);
    const ExtReferencePtr own = ExtReferencePtr::dcast(scene.sub->getCore());
    ASSERT_TRUE(own);
    EXPECT_NE(own, scene.subCore);
    EXPECT_EQ(subClone->getCore(), scene.subCore);
    EXPECT_NE(own->getSmartFile(), scene.subCore->getSmartFile()) << "records are never shared";
    EXPECT_EQ(own->getSmartFile()->getPath(), "/refs/sub.zmb");
    EXPECT_EQ(scene.sub->getChild(0)->getCore(), scene.bolt->getCore()) << "children untouched";

    EXPECT_EQ(ksScenegraph::unshareNode(scene.sub.get(), ksScenegraph::UnshareSubtree, true, false), scene.sub);
    const NodeCorePtr boltCore = scene.sub->getChild(0)->getCore();
    EXPECT_NE(boltCore, scene.root->getChild(5)->getCore()) << "the copy outside keeps the old core";
    EXPECT_EQ(scene.sub->getChild(1)->getCore(), boltCore) << "sharing inside the subtree stays";
    EXPECT_NE(GeometryPtr::dcast(boltCore)->getMaterial(), scene.paint) << "materials copied on request";
    EXPECT_FALSE(ksScenegraph::unshareNode(scene.sub.get(), ksScenegraph::UnshareSubtree, false, false));
}

TEST(Loader, MergesEqualMaterialsAndPoolsThem)
{
    QTemporaryDir dir;
    ksMaterials::clearMaterialPool();
    AssemblyScene scene;
    // A twin of paint with a twin of its environment, used by the bolt.
    UEnvironmentMaterialRefPtr studio2 = UEnvironmentMaterial::create();
    studio2->setImagePath("studio.hdr");
    studio2->setExposure(1.5f);
    UBRDFMaterialRefPtr paint2 = UBRDFMaterial::create();
    paint2->setEnvironment(studio2);
    paint2->setDiffuseColor({0.7f, 0.1f, 0.1f});
    setName(paint2.get(), "Paint");
    GeometryPtr::dcast(scene.bolt->getCore())->setMaterial(paint2);
    const QString path = dir.filePath("twins.osb");
    ASSERT_TRUE(SceneFileHandler::the().write(scene.root.get(), path.toStdString()));

    ksFastGeometryLoader merging;
    merging.setMergeMaterials(true);
    merging.setAddFileInfo(true);
    const NodeRefPtr merged = merging.load(path).root;
    ksMaterials::MaterialSet materials;
    ksMaterials::getMaterialsAndOverrideMaterials(merged.get(), materials, true);
    EXPECT_EQ(materials.size(), 1u);
    EXPECT_EQ(ksMaterials::getMaterialPoolMaterials().size(), 2u) << "the material and its environment joined";
    EXPECT_EQ(ksNodeUtils::getFileInfo(merged.get()), path.toStdString());
    ksMaterials::clearMaterialPool();
}
