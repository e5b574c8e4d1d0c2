// Licensed under the MIT licence; see LICENSE.
#pragma once

// The plug-in is built with hidden visibility; the few classes that other
// host modules link against are marked for export.
#if defined(KS_REFERENCES_BUILD)
#define KS_REFERENCES_EXPORT __attribute__((visibility("default")))
#else
#define KS_REFERENCES_EXPORT
#endif
