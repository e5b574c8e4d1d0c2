// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/SceneGraph.h"

#include "startup/ksKernel.h"

#include <gtest/gtest.h>

// Runs a test program inside a started host, as the module runs: the kernel's
// init makes the reference service install the pool's hooks and connect
// itself to the host's services. Death-test children check a fresh process's
// state and so run without a host.
class StartedHostEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        if (!GTEST_FLAG_GET(internal_run_death_test).empty())
            return;
        m_kernel.installHostServices();
        m_kernel.start();
    }
    void TearDown() override
    {
        if (m_kernel.isStarted())
            m_kernel.shutdown();
    }

private:
    ksKernel m_kernel;
};
