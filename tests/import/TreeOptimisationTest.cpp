// Licensed under the MIT licence; see LICENSE.
#include "AssemblyScene.h"

#include "import/ksQorTreeOptimizationJob.h"

#include <gtest/gtest.h>

using namespace osg;

TEST(Import, TreeOptimisationTidiesAConvertedTree)
{
    // root
    // +- empty group "Empty"     -> removed
    // +- unnamed group           -> replaced by its child
    // |  +- part A (Geometry g1)
    // +- part B (Geometry g2, equal to g1)   -> shares g1
    // +- part C (Geometry g3, equal to a geometry of the live scene)
    AssemblyScene live;
    NodeRefPtr root = AssemblyScene::node(Group::create(), "Converted");
    auto geometry = [](float x) {
        GeometryRefPtr g = Geometry::create();
        g->setPositions({{x, 0, 0}, {1, 0, 0}, {0, 1, 0}});
        g->setIndices({0, 1, 2});
        return g;
    };
    root->addChild(AssemblyScene::node(Group::create(), "Empty"));
    NodeRefPtr wrapper = Node::create();
    wrapper->setCore(Group::create());
    NodeRefPtr a = AssemblyScene::node(geometry(5), "A");
    wrapper->addChild(a);
    root->addChild(wrapper);
    root->addChild(AssemblyScene::node(geometry(5), "B"));
    GeometryRefPtr g3 = geometry(0);
    g3->setMaterial(live.paint);
    root->addChild(AssemblyScene::node(g3, "C"));

    ksQorTreeOptimizationJob job("/cad/car.jt", root.get(), live.root.get());
    EXPECT_TRUE(job.run());
    ASSERT_EQ(root->getNChildren(), 3u);
    EXPECT_EQ(root->getChild(0), a);
    EXPECT_EQ(root->getChild(1)->getCore(), a->getCore());
    EXPECT_EQ(root->getChild(2)->getCore(), live.bolt->getCore()) << "shares the live scene's equal geometry";
    EXPECT_EQ(job.getRemovedNodes(), 2u);
    EXPECT_EQ(job.getSharedGeometries(), 2u);
}
