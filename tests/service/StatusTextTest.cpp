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

class StatusText : public ::testing::Test
{
protected:
    void SetUp() override { m_monitoring = ksReferenceSettings::the().isUpdateMonitoringEnabled(); }
    void TearDown() override { ksReferenceSettings::the().setUpdateMonitoringEnabled(m_monitoring); }

private:
    bool m_monitoring = true;
};

TEST_F(StatusText, PartsNameTheFilesAndTakeTheColoursOfTheirStatesElseEmpty)
{
    const QColor upToDate = ksStyle::getReferenceUpToDateColor();
    const QColor missing = ksStyle::getReferenceMissingColor();
    const QColor outdated = ksStyle::getReferenceOutOfDateColor();
    const QColor locked = ksStyle::getLockedItemColor();
    enum Flags { Unloaded = 1, Locked = 2, Unselectable = 4, MonitoringOff = 8, PathlessRecord = 16 };
    const struct
    {
        const char* node;
        const char* smart;
        const char* source;
        osg::UInt32 smartState;
        osg::UInt32 sourceState;
        int flags;
        std::string expected;
    } cases[] = {
        // A file named like the node shows its suffix; the comparison is exact.
        {"Engine", "/data/zmb/Engine.zmb", "/data/cad/Engine.stp", Types::UpToDate, Types::UpToDate, 0,
         "[" + font(upToDate, "zmb") + " | " + font(upToDate, "stp") + "]"},
        {"Engine", "/data/Engine.zmb", "/data/cad/motor_v2.stp", Types::NoPath, Types::UpToDate, 0,
         "[" + font(upToDate, "zmb") + " | " + font(upToDate, "motor_v2.stp") + "]"},
        {"engine", "/data/Engine.zmb", "", Types::UpToDate, 0, 0, "[" + font(upToDate, "Engine.zmb") + "]"},
        {"E", "", "/d/part.jt", 0, Types::UpToDate, 0, "[" + font(upToDate, "part.jt") + "]"},
        {"Engine", "/d/Engine.zmb", "/d/Engine.stp", Types::Missing, Types::Outdated, 0,
         "[" + font(missing, "zmb") + " | " + font(outdated, "stp") + "]"},
        {"E", "/d/E.zmb", "/d/E.stp", Types::Missing, Types::Outdated, Unloaded,
         "[" + font(locked, "zmb") + " | " + font(locked, "stp") + "]"},
        {"E", "/d/E.zmb", "/d/E.stp", Types::Missing, Types::UpToDate, Locked,
         "[" + font(locked, "zmb") + " | " + font(locked, "stp") + "]"},
        {"E", "/d/E.zmb", "/d/E.stp", Types::UpToDate, Types::UpToDate, Unselectable,
         "[" + font(locked, "zmb") + " | " + font(locked, "stp") + "]"},
        {"Engine", "/d/Engine.zmb", "/d/x.stp", Types::Missing, Types::Outdated, MonitoringOff, "[zmb | x.stp]"},
        {"Engine", "", "", 0, 0, 0, ""},
        {"Engine", "", "", 0, 0, PathlessRecord, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        ksReferenceSettings::the().setUpdateMonitoringEnabled(!(c.flags & MonitoringOff));
        const osg::NodeRefPtr node =
            makeReference(c.node, c.smart, c.source, c.flags & Unloaded ? Types::NotLoaded : Types::Loaded);
        const osg::ExtReferencePtr core = coreOf(node.get());
        if (*c.smart)
            core->getSmartFile()->setState(c.smartState);
        if (*c.source)
            core->getSourceFile()->setState(c.sourceState);
        if (c.flags & PathlessRecord)
            core->setSmartFile(record(""));
        ksNodeUtils::setLock(node.get(), c.flags & Locked);
        ksNodeUtils::setSelectable(node.get(), !(c.flags & Unselectable));
        EXPECT_EQ(statusOf(node.get()), c.expected);
    }
    EXPECT_EQ(statusOf(osg::NodePtr()), "");
    const osg::NodeRefPtr plain = makeGroup("Engine");
    EXPECT_EQ(statusOf(plain.get()), "");
}

} // namespace
