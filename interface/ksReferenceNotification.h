// Licensed under the MIT licence; see LICENSE.
#pragma once

// The transient notifications the module shows after an update check. Each
// call shows a notification of its own and removes it 3 s later; an earlier
// one is never taken away early. Main thread only.
class ksReferenceNotification
{
public:
    // "Reference(s) missing, see Reference Editor."
    static void showMissingReferences();
    // "Reference update(s) available, see Reference Editor."
    static void showUpdatesAvailable();

    // How long a notification stays, in milliseconds.
    static constexpr int lifetime = 3000;

private:
    // `text` is the untranslated source text.
    static void show(const char* text);
};
