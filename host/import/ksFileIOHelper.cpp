// Licensed under the MIT licence; see LICENSE.
#include "import/ksFileIOHelper.h"

#include <QFileInfo>
#include <QHash>

namespace {

struct Registry {
    QHash<QString, ksdQorSettings> byType;
    ksdQorSettings fallback;
};

Registry& registry()
{
    static auto* r = new Registry();
    return *r;
}

} // namespace

ksdQorSettings ksFileIOHelper::getImportSettingsByFileName(const QString& name, bool completeSuffix)
{
    const QFileInfo info(name);
    const QString suffix = (completeSuffix ? info.completeSuffix() : info.suffix()).toLower();
    return registry().byType.value(suffix, registry().fallback);
}

void ksFileIOHelper::setImportSettings(const QString& suffix, const ksdQorSettings& settings)
{
    registry().byType.insert(suffix.toLower(), settings);
}

void ksFileIOHelper::removeImportSettings(const QString& suffix)
{
    registry().byType.remove(suffix.toLower());
}

ksdQorSettings ksFileIOHelper::getDefaultImportSettings()
{
    return registry().fallback;
}

void ksFileIOHelper::setDefaultImportSettings(const ksdQorSettings& settings)
{
    registry().fallback = settings;
}

void ksFileIOHelper::resetImportSettings()
{
    registry().byType.clear();
    registry().fallback = ksdQorSettings();
}
