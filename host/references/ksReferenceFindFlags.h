// Licensed under the MIT licence; see LICENSE.
#pragma once

// Bits of the flags of ksReferenceInterface::findExtReferences and
// findParentExtReferences. Bit 1 means nothing to them.
struct ksReferenceFindFlags
{
    enum Flag : unsigned int {
        // Stop at the first hit on a path (below it, or further up).
        FindFirstOnly = 2,
        // Only references that have a smart record.
        FindSmartOnly = 4,
        // Only references that have no smart record.
        FindNonSmartOnly = 8,
        // The start node itself is never a hit.
        FindExcludeStart = 16,
        // Skip references whose smart record has no path (NoPath); searches
        // downwards only.
        FindSkipNoPathSmart = 32,
    };
};
