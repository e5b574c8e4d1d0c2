// Licensed under the MIT licence; see LICENSE.
#include "notification/ksStyle.h"

// Chosen to read on the dark and the light tree background alike, and to
// differ in lightness as well as hue for colour-blind users.
QColor ksStyle::getReferenceMissingColor()
{
    return QColor(0xe0, 0x4f, 0x4f);
}

QColor ksStyle::getReferenceOutOfDateColor()
{
    return QColor(0xf0, 0xb4, 0x29);
}

QColor ksStyle::getReferenceUpToDateColor()
{
    return QColor(0x5c, 0xb8, 0x5c);
}

QColor ksStyle::getLockedItemColor()
{
    return QColor(0x8a, 0x8a, 0x8a);
}
