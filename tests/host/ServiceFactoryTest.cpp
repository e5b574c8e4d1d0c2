// Licensed under the MIT licence; see LICENSE.
// The factory's initialisation and ownership of registered services.
#include "kernel/ksBaseService.h"
#include "kernel/ksKernelServiceFactory.h"

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

TEST_F(ServiceFactory, InitReachesEachServiceOnceInOrderAndShutdownDestroysNewestFirst)
{
    std::vector<std::string> events;
    auto* first = factory().add(new ProbeService(&events, "~first"));
    auto* second = new ProbeService(&events, "~second");
    factory().registerType(second);
    factory().registerType(second);
    // A service that an init handler registers is initialised in the same run.
    auto* late = new ProbeService(&events, "~late");
    QObject::connect(first, &ksBaseService::init, [&] {
        events.push_back("first");
        factory().registerType(late);
    });
    QObject::connect(second, &ksBaseService::init, [&] { events.push_back("second"); });
    QObject::connect(late, &ksBaseService::init, [&] { events.push_back("late"); });
    EXPECT_EQ(factory().initializeServices(), 3);
    EXPECT_EQ(factory().initializeServices(), 0);
    EXPECT_EQ(factory().services(), (QList<ksBaseService*>{first, second, late}));

    delete second; // gone by other means: not destroyed twice
    factory().shutdown();
    EXPECT_EQ(events, (std::vector<std::string>{"first", "second", "late", "~second", "~late", "~first"}));
    EXPECT_TRUE(factory().services().isEmpty());
    // The entry outlives its service and must not hand out a dangling one.
    EXPECT_EQ(lookUp<ProbeService>(),
              std::make_pair(static_cast<ProbeService*>(nullptr),
                             std::string("ksKernelServiceFactory: service 'ProbeService' is NULL!\n")));
}

} // namespace
