// Licensed under the MIT licence; see LICENSE.
// In a started host imports make source references and the module's
// re-import reaches the host's importer.
#include "StartedHostEnvironment.h"

namespace {

::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new StartedHostEnvironment);

} // namespace

// Some of Assimp's readers leak what they built when they give up on a broken
// file; those leaks are the library's, not the importer's.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libassimp.so\n";
}
