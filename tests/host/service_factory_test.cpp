// Licensed under the MIT licence; see LICENSE.
// Typed service lookups, their two messages, and the factory's ownership of
// registered services.
#include "kernel/ksBaseService.h"
#include "kernel/ksKernelServiceFactory.h"

#include <QPointer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

class ProbeService : public ksBaseService
{
public:
    explicit ProbeService(std::vector<std::string>* destroyed = nullptr, std::string name = std::string())
        : m_destroyed(destroyed)
        , m_name(std::move(name))
    {
    }
    ~ProbeService() override
    {
        if (m_destroyed)
            m_destroyed->push_back(m_name);
    }

private:
    std::vector<std::string>* m_destroyed;
    std::string m_name;
};

class DerivedProbeService : public ProbeService
{
};

class NeverEnteredService : public ksBaseService
{
};

namespace {

class ServiceFactory : public ::testing::Test
{
protected:
    void TearDown() override
    {
        factory().shutdown();
        factory().clearEntries();
    }

    static ksKernelServiceFactory& factory() { return ksKernelServiceFactory::the(); }

    template <class T>
    static std::pair<T*, std::string> lookUp()
    {
        testing::internal::CaptureStderr();
        T* service = factory().get<T>();
        return {service, testing::internal::GetCapturedStderr()};
    }
};

TEST_F(ServiceFactory, LookupIsByExactClassAndSaysWhyItFindsNothing)
{
    const std::string null = "ksKernelServiceFactory: service 'ProbeService' is NULL!\n";
    EXPECT_EQ(lookUp<NeverEnteredService>().first, nullptr);
    EXPECT_EQ(lookUp<NeverEnteredService>().second,
              "ksKernelServiceFactory: couldn't find class 'NeverEnteredService'!\n");

    factory().setEntry<ProbeService>(nullptr);
    EXPECT_EQ(lookUp<ProbeService>().second, null) << "an entry without service";
    EXPECT_FALSE(factory().has<ProbeService>());
    auto* destroyed = new ProbeService;
    factory().setEntry<ProbeService>(destroyed);
    delete destroyed;
    EXPECT_EQ(lookUp<ProbeService>().first, nullptr);
    EXPECT_EQ(lookUp<ProbeService>().second, null) << "the entry of a destroyed service";

    // Found: quiet, and a base class does not answer for a derived one.
    auto* base = factory().add(new ProbeService);
    auto* derived = factory().add(new DerivedProbeService);
    EXPECT_EQ(lookUp<ProbeService>(), std::make_pair(base, std::string()));
    EXPECT_EQ(lookUp<DerivedProbeService>(), std::make_pair(derived, std::string()));
    EXPECT_EQ(lookUp<ksBaseService>().first, nullptr);
    EXPECT_EQ(lookUp<ksBaseService>().second, "ksKernelServiceFactory: couldn't find class 'ksBaseService'!\n");
}

TEST_F(ServiceFactory, InitReachesEachRegisteredServiceOnceInOrder)
{
    std::vector<std::string> order;
    auto* first = factory().add(new ProbeService);
    auto* second = new ProbeService;
    factory().registerType(second);
    factory().registerType(second);
    // A service that an init handler registers is initialised in the same run.
    auto* late = new ProbeService;
    QObject::connect(first, &ksBaseService::init, [&] {
        order.push_back("first");
        factory().registerType(late);
    });
    QObject::connect(second, &ksBaseService::init, [&] { order.push_back("second"); });
    QObject::connect(late, &ksBaseService::init, [&] { order.push_back("late"); });

    EXPECT_EQ(factory().initializeServices(), 3);
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second", "late"}));
    EXPECT_EQ(factory().initializeServices(), 0);
    EXPECT_EQ(factory().services(), (QList<ksBaseService*>{first, second, late}));
}

TEST_F(ServiceFactory, ShutdownDestroysServicesNewestFirst)
{
    std::vector<std::string> destroyed;
    factory().add(new ProbeService(&destroyed, "first"));
    factory().registerType(new ProbeService(&destroyed, "second"));
    // Already gone by other means: not destroyed twice.
    auto* gone = new ProbeService(&destroyed, "gone");
    factory().registerType(gone);
    delete gone;

    factory().shutdown();
    EXPECT_EQ(destroyed, (std::vector<std::string>{"gone", "second", "first"}));
    EXPECT_TRUE(factory().services().isEmpty());
    EXPECT_EQ(lookUp<ProbeService>().second, "ksKernelServiceFactory: service 'ProbeService' is NULL!\n");
}

} // namespace
