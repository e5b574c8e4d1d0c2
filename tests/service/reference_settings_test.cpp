// Licensed under the MIT licence; see LICENSE.
// The reference settings are one object per process. Tests that need it
// fresh run in a new process of this program (gtest's "threadsafe" death
// tests start one), so that they do not depend on the order of tests.
#include "service/ksReferenceSettings.h"

#include <QMetaMethod>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

namespace {

using Types = ksReferenceTypes;

ksReferenceSettings& settings()
{
    return ksReferenceSettings::the();
}

// Runs `check` in a fresh process; failed checks are named on standard error.
void expectInFreshProcess(const std::function<std::vector<std::pair<bool, const char*>>()>& check)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto run = [&] {
        bool ok = true;
        for (const auto& result : check()) {
            if (!result.first)
                std::fprintf(stderr, "unexpected: %s\n", result.second);
            ok &= result.first;
        }
        return ok;
    };
    EXPECT_EXIT(std::exit(run() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

TEST(ReferenceSettings, FreshProcessHasTheDefaultsAndSearchPathsFromTheEnvironmentAtCreation)
{
    expectInFreshProcess([] {
        ::unsetenv(ksReferenceSettings::searchPathVariable());
        const ksReferenceSettings& s = settings();
        return std::vector<std::pair<bool, const char*>>{
            {s.isUpdateMonitoringEnabled(), "monitoring disabled"},
            {!s.getAuxiliaryFlag(), "auxiliary flag set"},
            {s.getLogLevel() == 0, "log level not 0"},
            {s.getCustomExportPath().isEmpty(), "custom export path"},
            {s.getSearchPaths().isEmpty(), "search paths"},
            {s.getRevisionExpressions().isEmpty(), "revision expressions"},
            {!s.isRevisionCheckEnabled(), "revision check enabled"},
            {s.getLoadMode() == Types::DefaultLoadMode, "load mode"},
            {s.getExportLocation() == Types::NextToSource, "export location"},
            {s.getNotificationMode() == Types::NoNotification, "notification mode"},
        };
    });
    expectInFreshProcess([] {
        ::setenv(ksReferenceSettings::searchPathVariable(), "/data/cad::/mnt/parts/", 1);
        const QStringList paths = settings().getSearchPaths();
        ::setenv(ksReferenceSettings::searchPathVariable(), "/elsewhere", 1);
        return std::vector<std::pair<bool, const char*>>{
            {paths == QStringList{"/data/cad", "/mnt/parts/"}, "paths from the variable"},
            {settings().getSearchPaths() == paths, "paths read again"},
        };
    });
}

// The host connects to the signals by their place in the meta-object. Each
// signalled setter emits its own signal, and only it, even when the value is
// unchanged; the other setters store quietly.
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
    EXPECT_EQ(meta.propertyCount(), meta.propertyOffset());
    ASSERT_EQ(spies.size(), 5u);

    const int logLevel = settings().getLogLevel();
    const auto exportLocation = Types::CustomDirectory;
    const auto notificationMode = Types::NotifyAfterUpdateCheck;
    const auto loadMode = Types::DefaultLoadMode;
    const std::pair<std::function<void()>, QVariant> setters[] = {
        {[] { settings().setUpdateMonitoringEnabled(false); }, QVariant(false)},
        {[=] { settings().setExportLocation(exportLocation); }, QVariant::fromValue(exportLocation)},
        {[=] { settings().setNotificationMode(notificationMode); }, QVariant::fromValue(notificationMode)},
        {[] { settings().setCustomExportPath("/data/smart"); }, QVariant(QString("/data/smart"))},
        {[=] { settings().setLoadMode(loadMode); }, QVariant::fromValue(loadMode)},
        {[] {
             settings().setAuxiliaryFlag(true);
             settings().setLogLevel(4);
             settings().setRevisionCheckEnabled(true);
             settings().setRevisionExpressions({"_v(\\d+)", "_rev(\\d+)"});
         },
         QVariant()},
    };
    for (std::size_t signal = 0; signal < 6; ++signal) {
        SCOPED_TRACE(signal);
        setters[signal].first();
        setters[signal].first();
        for (std::size_t i = 0; i < spies.size(); ++i) {
            EXPECT_EQ(spies[i]->count(), i == signal ? 2 : 0) << "signal " << i;
            if (i == signal && spies[i]->count() == 2) {
                EXPECT_EQ(spies[i]->at(1).at(0), setters[signal].second);
            }
            spies[i]->clear();
        }
    }

    EXPECT_FALSE(settings().isUpdateMonitoringEnabled());
    EXPECT_EQ(settings().getExportLocation(), Types::CustomDirectory);
    EXPECT_EQ(settings().getNotificationMode(), Types::NotifyAfterUpdateCheck);
    EXPECT_EQ(settings().getCustomExportPath(), QStringLiteral("/data/smart"));
    EXPECT_EQ(settings().getLoadMode(), Types::DefaultLoadMode);
    EXPECT_TRUE(settings().getAuxiliaryFlag());
    EXPECT_EQ(settings().getLogLevel(), 4);
    EXPECT_TRUE(settings().isRevisionCheckEnabled());
    EXPECT_EQ(settings().getRevisionExpressions(), (QStringList{"_v(\\d+)", "_rev(\\d+)"}));

    settings().setUpdateMonitoringEnabled(true);
    settings().setExportLocation(Types::NextToSource);
    settings().setNotificationMode(Types::NoNotification);
    settings().setCustomExportPath(QString());
    settings().setAuxiliaryFlag(false);
    settings().setLogLevel(logLevel);
    settings().setRevisionCheckEnabled(false);
    settings().setRevisionExpressions({});
}

} // namespace
