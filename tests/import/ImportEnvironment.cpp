// Licensed under the MIT licence; see LICENSE.
// The import tests run inside a started host with the reference module
// linked in, as the host program runs: imports then make source references
// and the module's re-import reaches the host's importer.
#include "kernel/ksKernel.h"

#include <gtest/gtest.h>

namespace {

class ImportEnvironment : public ::testing::Environment
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

::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new ImportEnvironment);

} // namespace
