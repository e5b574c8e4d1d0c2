// Licensed under the MIT licence; see LICENSE.
#include "StartedHostEnvironment.h"

namespace {

::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new StartedHostEnvironment);

} // namespace
