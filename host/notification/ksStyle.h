// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QColor>

// Colours of the host's style that modules use in texts they show.
class ksStyle
{
public:
    static QColor getReferenceMissingColor();
    static QColor getReferenceOutOfDateColor();
    static QColor getReferenceUpToDateColor();
    // Items the user cannot change (locked, not selectable, not loaded).
    static QColor getLockedItemColor();
};
