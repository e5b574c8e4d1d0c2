// Licensed under the MIT licence; see LICENSE.
// The pool's smart file operations on real files: loading, finding a loaded
// clone, saving only what changed.
#include "ModelTestSupport.h"

#include "io/ksSmartFile.h"
#include "model/ksReferencePool.h"
#include "nodeutils/ksNodeUtils.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/SceneFileHandler.h"

#include <QDateTime>
#include <QFileInfo>

#include <type_traits>

using namespace osg;
using namespace modeltest;

namespace {

// A build whose smart file object cannot load files marks it; these tests
// need the real one.
template <class T, class = void> struct CannotLoad : std::false_type
{
};
template <class T> struct CannotLoad<T, std::void_t<decltype(T::isPlaceholder)>> : std::bool_constant<T::isPlaceholder>
{
};

class PoolSmartFileTest : public ::testing::Test
{
protected:
    //  root
    //  +- a (smart part.osb, NotLoaded)
    //  +- b (smart part.osb, NotLoaded)
    //  part.osb: "Part" (Group) +- "Bolt" (Group)
    void SetUp() override
    {
        if (CannotLoad<ksSmartFile>::value)
            GTEST_SKIP() << "this build's smart file object does not load files";
        ASSERT_TRUE(pool.isEmpty());
        const NodeRefPtr part = makeGroupNode();
        ksNodeUtils::setName(part.get(), "Part", false);
        const NodeRefPtr bolt = makeGroupNode();
        ksNodeUtils::setName(bolt.get(), "Bolt", false);
        part->addChild(bolt);
        path = files.path("part.osb");
        ASSERT_TRUE(SceneFileHandler::the().write(part.get(), path));

        a = makeReferenceNode(path, "", ksReferenceTypes::NotLoaded);
        b = makeReferenceNode(path, "", ksReferenceTypes::NotLoaded);
        addChild(ksScenegraph::getRoot(), a);
        addChild(ksScenegraph::getRoot(), b);
    }

    void TearDown() override
    {
        const NodePtr root = ksScenegraph::getRoot();
        edit(root, Node::ChildrenFieldMask, [&] {
            while (root->getNChildren() > 0)
                root->subChild(0u);
        });
    }

    ksReferencePool& pool = ksReferencePool::instance();
    TempFiles files;
    std::string path;
    NodeRefPtr a;
    NodeRefPtr b;
};

} // namespace

TEST_F(PoolSmartFileTest, ALoadedCloneIsAlwaysAnotherCoresNode)
{
    EXPECT_EQ(pool.findLoadedClone(coreOf(b)), NullFC);
    ASSERT_TRUE(pool.loadSmartReference(coreOf(a)));
    EXPECT_TRUE(pool.isSmartFileLoaded(coreOf(a)));
    EXPECT_FALSE(pool.isSmartFileLoaded(coreOf(b)));
    EXPECT_EQ(a->getNChildren(), 1u);
    EXPECT_FALSE(pool.isChanged(coreOf(a)));

    EXPECT_EQ(pool.findLoadedClone(coreOf(b)), a.get());
    EXPECT_EQ(pool.findLoadedClone(coreOf(a)), NullFC);

    ASSERT_TRUE(pool.loadSmartReference(coreOf(b)));
    EXPECT_EQ(pool.findLoadedClone(coreOf(a)), b.get());
    EXPECT_EQ(pool.findLoadedClone(coreOf(b)), a.get());

    ASSERT_TRUE(pool.unloadSmartReference(coreOf(a)));
    EXPECT_EQ(a->getNChildren(), 0u);
    EXPECT_EQ(pool.findLoadedClone(coreOf(b)), NullFC);
}

TEST_F(PoolSmartFileTest, SavesWriteOnlyChangedContent)
{
    ASSERT_TRUE(pool.loadSmartReference(coreOf(a)));
    TempFiles::setModificationTime(path, 1600000000);
    EXPECT_TRUE(pool.saveSmartReference(coreOf(a)));
    EXPECT_EQ(QFileInfo(QString::fromStdString(path)).lastModified().toSecsSinceEpoch(), 1600000000);

    const NodePtr content = a->getChild(0);
    edit(content, Node::TravMaskFieldMask, [&] { content->setTravMask(0); });
    ASSERT_TRUE(pool.isChanged(coreOf(a)));
    EXPECT_TRUE(pool.saveSmartReference(coreOf(a)));
    EXPECT_FALSE(pool.isChanged(coreOf(a)));
    EXPECT_NE(QFileInfo(QString::fromStdString(path)).lastModified().toSecsSinceEpoch(), 1600000000);

    // A copy elsewhere leaves the change mark as it was.
    edit(content, Node::TravMaskFieldMask, [&] { content->setTravMask(1); });
    const std::string copy = files.path("copy.osb");
    EXPECT_TRUE(pool.saveSmartReferenceAs(coreOf(a), QString::fromStdString(copy)));
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(copy)));
    EXPECT_TRUE(pool.isChanged(coreOf(a)));
}
