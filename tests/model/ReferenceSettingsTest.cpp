// Licensed under the MIT licence; see LICENSE.
#include "model/ksReferenceSettings.h"

#include <QMetaMethod>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using Types = ksReferenceTypes;

ksReferenceSettings& settings() { return ksReferenceSettings::the(); }

// The host connects to the signals by their place in the meta-object. Each
// signalled setter emits its own signal, and only it, even when the value is
// unchanged (the load mode has one value); the other setters store quietly.
TEST(ReferenceSettings, MetaObjectHoldsExactlyTheFiveSignalsInOrderAndSettersEmitThem)
{
    const QMetaObject& meta = ksReferenceSettings::staticMetaObject;
    QStringList methods;
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        EXPECT_EQ(meta.method(i).methodType(), QMetaMethod::Signal);
        methods << QString::fromLatin1(meta.method(i).methodSignature());
        spies.emplace_back(new QSignalSpy(&settings(), meta.method(i)));
    }
    EXPECT_EQ(methods, (QStringList{"updateMonitoringEnabledChanged(bool)",
                                    "exportLocationChanged(ksReferenceTypes::ExportLocation)",
                                    "notificationModeChanged(ksReferenceTypes::NotificationMode)",
                                    "customExportPathChanged(QString)",
                                    "loadModeChanged(ksReferenceTypes::LoadMode)"}));
    ASSERT_EQ(spies.size(), 5u);
    // Each setter runs twice, the second time back to the value before.
    const int logLevel = settings().getLogLevel();
    const std::pair<std::function<void(bool)>, QVariant> setters[] = {
        {[](bool on) { settings().setUpdateMonitoringEnabled(!on); }, QVariant(true)},
        {[](bool on) { settings().setExportLocation(on ? Types::CustomDirectory : Types::NextToSource); },
         QVariant::fromValue(Types::NextToSource)},
        {[](bool on) { settings().setNotificationMode(on ? Types::NotifyAfterUpdateCheck : Types::NoNotification); },
         QVariant::fromValue(Types::NoNotification)},
        {[](bool on) { settings().setCustomExportPath(on ? "/data/smart" : ""); }, QVariant(QString())},
        {[](bool) { settings().setLoadMode(Types::DefaultLoadMode); }, QVariant::fromValue(Types::DefaultLoadMode)},
        {[logLevel](bool on) { settings().setLogLevel(on ? 4 : logLevel); }, QVariant()},
    };
    for (std::size_t signal = 0; signal < 6; ++signal) {
        SCOPED_TRACE(signal);
        setters[signal].first(true);
        setters[signal].first(false);
        for (std::size_t i = 0; i < spies.size(); ++i) {
            EXPECT_EQ(spies[i]->count(), i == signal ? 2 : 0) << "signal " << i;
            if (i == signal && spies[i]->count() == 2) {
                EXPECT_EQ(spies[i]->at(1).at(0), setters[signal].second);
            }
            spies[i]->clear();
        }
    }
}

} // namespace
