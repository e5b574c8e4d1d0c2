// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "import/ksdQorSettings.h"

#include <QString>

// Import settings per file type. Types are keyed by lower-case suffix
// ("jt", "stp", "tar.gz"); a file whose type has no settings of its own
// (an empty name included) gets the default settings, which keep smart
// references (behaviour KeepSmartReferences) until the host changes them.
class ksFileIOHelper
{
public:
    // With `completeSuffix` the settings are looked up by everything after
    // the first dot of the file name ("model.tar.gz" -> "tar.gz"), else by
    // the last suffix ("gz"). Falls back to the default settings.
    static ksdQorSettings getImportSettingsByFileName(const QString& name, bool completeSuffix);

    static void setImportSettings(const QString& suffix, const ksdQorSettings& settings);
    static void removeImportSettings(const QString& suffix);
    static ksdQorSettings getDefaultImportSettings();
    static void setDefaultImportSettings(const ksdQorSettings& settings);
    // Back to no per-type settings and the initial default.
    static void resetImportSettings();
};
