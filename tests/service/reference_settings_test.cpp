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

namespace {

using Types = ksReferenceTypes;

// Runs `check` in a fresh process; it reports failures on standard error.
void expectInFreshProcess(const std::function<bool()>& check)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(check() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

bool report(bool ok, const char* what)
{
    if (!ok)
        std::fprintf(stderr, "unexpected: %s\n", what);
    return ok;
}

TEST(ReferenceSettings, FreshProcessHasTheDefaults)
{
    expectInFreshProcess([] {
        ::unsetenv(ksReferenceSettings::searchPathVariable());
        const ksReferenceSettings& s = ksReferenceSettings::the();
        bool ok = true;
        ok &= report(s.isUpdateMonitoringEnabled(), "monitoring disabled");
        ok &= report(!s.getAuxiliaryFlag(), "auxiliary flag set");
        ok &= report(s.getLogLevel() == 0, "log level not 0");
        ok &= report(s.getCustomExportPath().isEmpty(), "custom export path");
        ok &= report(s.getSearchPaths().isEmpty(), "search paths");
        ok &= report(s.getRevisionExpressions().isEmpty(), "revision expressions");
        ok &= report(!s.isRevisionCheckEnabled(), "revision check enabled");
        ok &= report(s.getLoadMode() == Types::DefaultLoadMode, "load mode");
        ok &= report(s.getExportLocation() == Types::NextToSource, "export location");
        ok &= report(s.getNotificationMode() == Types::NoNotification, "notification mode");
        return ok;
    });
}

TEST(ReferenceSettings, SearchPathsComeFromTheEnvironmentAtCreation)
{
    expectInFreshProcess([] {
        ::setenv(ksReferenceSettings::searchPathVariable(), "/data/cad::/mnt/parts/", 1);
        const QStringList paths = ksReferenceSettings::the().getSearchPaths();
        ::setenv(ksReferenceSettings::searchPathVariable(), "/elsewhere", 1);
        return report(paths == (QStringList{"/data/cad", "/mnt/parts/"}), "paths from the variable")
            && report(ksReferenceSettings::the().getSearchPaths() == paths, "paths read again");
    });
}

// The host connects to the signals by their place in the meta-object.
TEST(ReferenceSettings, MetaObjectHoldsExactlyTheFiveSignalsInOrder)
{
    const QMetaObject& meta = ksReferenceSettings::staticMetaObject;
    QStringList methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        EXPECT_EQ(meta.method(i).methodType(), QMetaMethod::Signal);
        methods << QString::fromLatin1(meta.method(i).methodSignature());
    }
    EXPECT_EQ(methods, (QStringList{"updateMonitoringEnabledChanged(bool)",
                                    "exportLocationChanged(ksReferenceTypes::ExportLocation)",
                                    "notificationModeChanged(ksReferenceTypes::NotificationMode)",
                                    "customExportPathChanged(QString)",
                                    "loadModeChanged(ksReferenceTypes::LoadMode)"}));
    EXPECT_EQ(meta.propertyCount(), meta.propertyOffset());
}

class SettingsSignals : public ::testing::Test
{
protected:
    static ksReferenceSettings& settings() { return ksReferenceSettings::the(); }

    // One spy per signal, in meta-object order.
    void SetUp() override
    {
        m_spies.emplace_back(new QSignalSpy(&settings(), &ksReferenceSettings::updateMonitoringEnabledChanged));
        m_spies.emplace_back(new QSignalSpy(&settings(), &ksReferenceSettings::exportLocationChanged));
        m_spies.emplace_back(new QSignalSpy(&settings(), &ksReferenceSettings::notificationModeChanged));
        m_spies.emplace_back(new QSignalSpy(&settings(), &ksReferenceSettings::customExportPathChanged));
        m_spies.emplace_back(new QSignalSpy(&settings(), &ksReferenceSettings::loadModeChanged));
        for (const auto& spy : m_spies)
            ASSERT_TRUE(spy->isValid());
    }

    // Emissions per signal since the last call.
    std::vector<int> counts()
    {
        std::vector<int> result;
        for (const auto& spy : m_spies) {
            result.push_back(spy->count());
            spy->clear();
        }
        return result;
    }

    std::vector<std::unique_ptr<QSignalSpy>> m_spies;
};

TEST_F(SettingsSignals, EverySignalledSetterEmitsItsValueEvenWhenUnchanged)
{
    struct Case
    {
        const char* name;
        std::function<void()> set;
        std::size_t signal;
        QVariant value;
    };
    const auto exportLocation = Types::CustomDirectory;
    const auto notificationMode = Types::NotifyAfterUpdateCheck;
    const auto loadMode = Types::DefaultLoadMode;
    const std::vector<Case> cases = {
        {"monitoring", [] { settings().setUpdateMonitoringEnabled(false); }, 0, QVariant(false)},
        {"export location", [=] { settings().setExportLocation(exportLocation); }, 1,
         QVariant::fromValue(exportLocation)},
        {"notification mode", [=] { settings().setNotificationMode(notificationMode); }, 2,
         QVariant::fromValue(notificationMode)},
        {"custom path", [] { settings().setCustomExportPath("/data/smart"); }, 3, QVariant(QString("/data/smart"))},
        {"load mode", [=] { settings().setLoadMode(loadMode); }, 4, QVariant::fromValue(loadMode)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        counts();
        c.set();
        c.set();
        std::vector<int> expected(m_spies.size(), 0);
        expected[c.signal] = 2;
        QSignalSpy& spy = *m_spies[c.signal];
        ASSERT_EQ(spy.count(), 2);
        EXPECT_EQ(spy[1][0], c.value);
        EXPECT_EQ(counts(), expected);
    }

    EXPECT_FALSE(settings().isUpdateMonitoringEnabled());
    EXPECT_EQ(settings().getExportLocation(), Types::CustomDirectory);
    EXPECT_EQ(settings().getNotificationMode(), Types::NotifyAfterUpdateCheck);
    EXPECT_EQ(settings().getCustomExportPath(), QStringLiteral("/data/smart"));
    EXPECT_EQ(settings().getLoadMode(), Types::DefaultLoadMode);
    settings().setUpdateMonitoringEnabled(true);
    settings().setExportLocation(Types::NextToSource);
    settings().setNotificationMode(Types::NoNotification);
    settings().setCustomExportPath(QString());
}

TEST_F(SettingsSignals, UnsignalledSettersStoreQuietly)
{
    const int logLevel = settings().getLogLevel();
    settings().setAuxiliaryFlag(true);
    settings().setLogLevel(4);
    settings().setRevisionCheckEnabled(true);
    settings().setRevisionExpressions({"_v(\\d+)", "_rev(\\d+)"});

    EXPECT_EQ(counts(), std::vector<int>(m_spies.size(), 0));
    EXPECT_TRUE(settings().getAuxiliaryFlag());
    EXPECT_EQ(settings().getLogLevel(), 4);
    EXPECT_TRUE(settings().isRevisionCheckEnabled());
    EXPECT_EQ(settings().getRevisionExpressions(), (QStringList{"_v(\\d+)", "_rev(\\d+)"}));

    settings().setAuxiliaryFlag(false);
    settings().setLogLevel(logLevel);
    settings().setRevisionCheckEnabled(false);
    settings().setRevisionExpressions({});
}

} // namespace
