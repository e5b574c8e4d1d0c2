// Licensed under the MIT licence; see LICENSE.
// A started host with the reference module, so that imports make source
// references and the module's re-import reaches the host's importer.
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

// Some of Assimp's readers leak what they built when they give up on a broken
// file; those leaks are the library's, not the importer's.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libassimp.so\n";
}
