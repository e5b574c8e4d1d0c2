// Licensed under the MIT licence; see LICENSE.
#include "ServiceTestSupport.h"

#include "notification/ksStyle.h"
#include "service/ksReferenceSettings.h"

#include <QString>

using namespace servicetest;
using Types = ksReferenceTypes;

namespace {

std::string font(const QColor& colour, const std::string& text)
{
    return "<font color=\"" + colour.name().toStdString() + "\">" + text + "</font>";
}

std::string statusOf(const osg::NodePtr& node)
{
    return referenceInterface()->getReferenceStatusText(node);
}

std::string statusOf(const osg::NodeRefPtr& node)
{
    return statusOf(node.get());
}

class StatusText : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_monitoring = ksReferenceSettings::the().isUpdateMonitoringEnabled();
        ksReferenceSettings::the().setUpdateMonitoringEnabled(true);
    }
    void TearDown() override { ksReferenceSettings::the().setUpdateMonitoringEnabled(m_monitoring); }

    static void setStates(const osg::NodePtr& node, osg::UInt32 smart, osg::UInt32 source)
    {
        const osg::ExtReferencePtr core = coreOf(node);
        edit(core->getSmartFile(), osg::FieldBits::AllFields, [&] { core->getSmartFile()->setState(smart); });
        edit(core->getSourceFile(), osg::FieldBits::AllFields, [&] { core->getSourceFile()->setState(source); });
    }

private:
    bool m_monitoring = true;
};

TEST_F(StatusText, FilesNamedLikeTheNodeShowOnlyTheirSuffixes)
{
    const osg::NodeRefPtr node = makeReference("Engine", "/data/zmb/Engine.zmb", "/data/cad/Engine.stp");
    const QColor upToDate = ksStyle::getReferenceUpToDateColor();
    EXPECT_EQ(statusOf(node.get()), "[" + font(upToDate, "zmb") + " | " + font(upToDate, "stp") + "]");

    const osg::NodeRefPtr other = makeReference("Engine", "/data/Engine.zmb", "/data/cad/motor_v2.stp");
    EXPECT_EQ(statusOf(other.get()), "[" + font(upToDate, "zmb") + " | " + font(upToDate, "motor_v2.stp") + "]");

    // The name comparison is exact.
    const osg::NodeRefPtr lower = makeReference("engine", "/data/Engine.zmb");
    EXPECT_EQ(statusOf(lower.get()), "[" + font(upToDate, "Engine.zmb") + "]");
}

TEST_F(StatusText, EachPartIsColouredByItsOwnRecord)
{
    const osg::NodeRefPtr node = makeReference("Engine", "/d/Engine.zmb", "/d/Engine.stp");
    setStates(node.get(), Types::Missing, Types::Outdated);
    EXPECT_EQ(statusOf(node.get()), "[" + font(ksStyle::getReferenceMissingColor(), "zmb") + " | "
                                        + font(ksStyle::getReferenceOutOfDateColor(), "stp") + "]");

    setStates(node.get(), Types::NoPath, Types::UpToDate);
    const QColor upToDate = ksStyle::getReferenceUpToDateColor();
    EXPECT_EQ(statusOf(node.get()), "[" + font(upToDate, "zmb") + " | " + font(upToDate, "stp") + "]");
}

TEST_F(StatusText, UnloadedLockedAndUnselectableNodesUseTheLockedColour)
{
    const QColor locked = ksStyle::getLockedItemColor();
    const std::string expected = "[" + font(locked, "zmb") + " | " + font(locked, "stp") + "]";

    const osg::NodeRefPtr unloaded = makeReference("E", "/d/E.zmb", "/d/E.stp", Types::NotLoaded);
    setStates(unloaded.get(), Types::Missing, Types::Outdated);
    EXPECT_EQ(statusOf(unloaded.get()), expected);

    const osg::NodeRefPtr lockedNode = makeReference("E", "/d/E.zmb", "/d/E.stp");
    setStates(lockedNode.get(), Types::Missing, Types::UpToDate);
    ksNodeUtils::setLock(lockedNode.get(), true);
    EXPECT_EQ(statusOf(lockedNode.get()), expected);

    const osg::NodeRefPtr hidden = makeReference("E", "/d/E.zmb", "/d/E.stp");
    ksNodeUtils::setSelectable(hidden.get(), false);
    EXPECT_EQ(statusOf(hidden.get()), expected);
}

TEST_F(StatusText, OnePartHasNoSeparator)
{
    const QColor upToDate = ksStyle::getReferenceUpToDateColor();
    EXPECT_EQ(statusOf(makeReference("E", "", "/d/part.jt")), "[" + font(upToDate, "part.jt") + "]");
    EXPECT_EQ(statusOf(makeReference("E", "/d/E.zmb", "")), "[" + font(upToDate, "zmb") + "]");
}

TEST_F(StatusText, NoMarkupWithMonitoringOff)
{
    ksReferenceSettings::the().setUpdateMonitoringEnabled(false);
    const osg::NodeRefPtr node = makeReference("Engine", "/d/Engine.zmb", "/d/x.stp");
    setStates(node.get(), Types::Missing, Types::Outdated);
    EXPECT_EQ(statusOf(node.get()), "[zmb | x.stp]");
}

TEST_F(StatusText, EmptyForPlainNodesAndReferencesWithoutFileNames)
{
    EXPECT_EQ(statusOf(osg::NodePtr()), "");
    EXPECT_EQ(statusOf(makeGroup("Engine")), "");
    EXPECT_EQ(statusOf(makeReference("Engine", "", "")), "");
    // A record without a path names no file.
    const osg::NodeRefPtr node = makeReference("Engine", "", "");
    edit(coreOf(node.get()), osg::FieldBits::AllFields, [&] { coreOf(node.get())->setSmartFile(makeRecord("")); });
    EXPECT_EQ(statusOf(node.get()), "");
}

} // namespace
