// Licensed under the MIT licence; see LICENSE.
#include "ServiceTestSupport.h"

#include "notification/ksStyle.h"
#include "model/ksReferenceSettings.h"

using namespace servicetest;
using Types = ksReferenceTypes;

namespace {

std::string font(const QColor& colour, const std::string& text)
{
    return "<font color=\"" + colour.name().toStdString() + "\">" + text + "</font>";
}

// A file named like the node (exactly) shows its suffix, another its name,
// each in the colour of its state; without monitoring there is no colour.
TEST(StatusText, PartsNameTheFilesAndTakeTheColoursOfTheirStatesElseEmpty)
{
    const bool monitoring = ksReferenceSettings::the().isUpdateMonitoringEnabled();
    const osg::NodeRefPtr node = reference("Engine", "/d/Engine.zmb", "/d/engine.stp");
    coreOf(node.get())->getSmartFile()->setState(Types::Missing);
    coreOf(node.get())->getSourceFile()->setState(Types::Outdated);
    for (const bool on : {false, true}) {
        ksReferenceSettings::the().setUpdateMonitoringEnabled(on);
        EXPECT_EQ(referenceInterface()->getReferenceStatusText(node.get()),
                  on ? "[" + font(ksStyle::getReferenceMissingColor(), "zmb") + " | " +
                           font(ksStyle::getReferenceOutOfDateColor(), "engine.stp") + "]"
                     : "[zmb | engine.stp]");
    }
    // An unloaded node takes the locked colour.
    const osg::NodeRefPtr unloaded = reference("E", "/d/E.zmb", "", Types::NotLoaded);
    const std::string locked = font(ksStyle::getLockedItemColor(), "zmb");
    EXPECT_EQ(referenceInterface()->getReferenceStatusText(unloaded.get()), "[" + locked + "]");
    coreOf(unloaded.get())->setSmartFile(record(""));
    EXPECT_EQ(referenceInterface()->getReferenceStatusText(unloaded.get()), "");
    EXPECT_EQ(referenceInterface()->getReferenceStatusText(osg::NodePtr()), "");
    ksReferenceSettings::the().setUpdateMonitoringEnabled(monitoring);
}

} // namespace
