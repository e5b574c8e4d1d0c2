// Licensed under the MIT licence; see LICENSE.
// The model layer's tests run inside a started host, as the module does: the
// kernel's init makes the reference service install the pool's hooks and
// connect itself to the pool.
#include "scenegraph/SceneGraph.h"

#include "kernel/ksKernel.h"

#include <gtest/gtest.h>

namespace {

class ModelEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        m_kernel.installHostServices();
        m_kernel.start();
    }
    void TearDown() override { m_kernel.shutdown(); }

private:
    ksKernel m_kernel;
};

::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new ModelEnvironment);

} // namespace
