// Licensed under the MIT licence; see LICENSE.
#pragma once

// Defines OSG_PLAIN_HEAP in address-sanitised builds: the scene graph's own
// memory pools then hand everything to the general heap, so that every
// lifetime stays visible to the sanitiser.
#if defined(__SANITIZE_ADDRESS__)
#define OSG_PLAIN_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OSG_PLAIN_HEAP 1
#endif
#endif
