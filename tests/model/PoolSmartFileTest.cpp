// Licensed under the MIT licence; see LICENSE.
// The pool's smart file operations on real files.
#include "ModelTestSupport.h"

#include "io/ksSmartFile.h"
#include "model/ksReferencePool.h"
#include "scenegraph/SceneFileHandler.h"

#include <QDateTime>
#include <QFileInfo>

#include <type_traits>

using namespace osg;
using namespace modeltest;

namespace {

// A smart file object that cannot load files says so; these tests need one
// that can.
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
    //  +- a, b (smart part.osb, NotLoaded)
    //  part.osb: a Group node with a Group child
    void SetUp() override
    {
        if (CannotLoad<ksSmartFile>::value)
            GTEST_SKIP() << "this build's smart file object does not load files";
        ASSERT_TRUE(pool.isEmpty());
        const NodeRefPtr part = addGroup();
        addGroup(part.get());
        ASSERT_TRUE(SceneFileHandler::the().write(part.get(), path));
        a = inScene(makeReferenceNode(path, "", ksReferenceTypes::NotLoaded));
        b = inScene(makeReferenceNode(path, "", ksReferenceTypes::NotLoaded));
    }
    void TearDown() override { clearScene(); }

    qint64 fileTime() const { return QFileInfo(QString::fromStdString(path)).lastModified().toSecsSinceEpoch(); }

    ksReferencePool& pool = ksReferencePool::instance();
    TempFiles files;
    std::string path = files.path("part.osb");
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
    ASSERT_TRUE(pool.unloadSmartReference(coreOf(a)));
    EXPECT_EQ(a->getNChildren(), 0u);
    EXPECT_EQ(pool.findLoadedClone(coreOf(b)), NullFC);
}

TEST_F(PoolSmartFileTest, SavesWriteOnlyChangedContent)
{
    ASSERT_TRUE(pool.loadSmartReference(coreOf(a)));
    TempFiles::setModificationTime(path, 1600000000);
    EXPECT_TRUE(pool.saveSmartReference(coreOf(a)));
    EXPECT_EQ(fileTime(), 1600000000);

    setTravMask(a->getChild(0), 0);
    ASSERT_TRUE(pool.isChanged(coreOf(a)));
    EXPECT_TRUE(pool.saveSmartReference(coreOf(a)));
    EXPECT_FALSE(pool.isChanged(coreOf(a)));
    EXPECT_NE(fileTime(), 1600000000);

    // A copy elsewhere leaves the change mark as it was.
    setTravMask(a->getChild(0), 1);
    EXPECT_TRUE(pool.saveSmartReferenceAs(coreOf(a), QString::fromStdString(files.path("copy.osb"))));
    EXPECT_TRUE(pool.isChanged(coreOf(a)));
}
