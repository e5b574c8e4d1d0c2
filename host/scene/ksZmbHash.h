// Licensed under the MIT licence; see LICENSE.
// XXH3-64 for the ".zmb" checksums, with the widest vector unit the machine
// has (the values are the same on every path). Host-internal.
#pragma once

#include <xxhash.h>
#if defined(__x86_64__)
#include <xxh_x86dispatch.h>
#define KS_ZMB_XXH3 XXH3_64bits_dispatch
#define KS_ZMB_XXH3_UPDATE XXH3_64bits_update_dispatch
#else
#define KS_ZMB_XXH3 XXH3_64bits
#define KS_ZMB_XXH3_UPDATE XXH3_64bits_update
#endif
