// Licensed under the MIT licence; see LICENSE.
#include "scene/ksSceneDataManager.h"

#include "scene/ksSceneData.h"

ksSceneData* ksSceneDataManager::getSceneData(int index)
{
    if (index != 0)
        return nullptr;
    static auto* data = new ksSceneData();
    return data;
}
