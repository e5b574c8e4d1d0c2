// Licensed under the MIT licence; see LICENSE.
#pragma once

// Bits of the flags of ksReferenceInterface::updateReferences. Each selects
// one step done on every reference node; the steps run in the order listed
// here, whatever the bits' values.
struct ksReferenceUpdateFlags
{
    enum Flag : unsigned int {
        // Replace the smart record by a new one with an empty path (undoable).
        RenewSmartFile = 32,
        UpdateSmartFileInfo = 1,
        UpdateSourceFileInfo = 2,
        // Only for a reference whose state is Undefined: Loaded when the
        // node has children, else NotLoaded.
        DecideLoadState = 4,
        ResetChanged = 8,
        UpdateFileStates = 16,
    };
};
