// Licensed under the MIT licence; see LICENSE.
#include "scene/ksSceneData.h"

ksSceneData::ksSceneData(QObject* parent) : QObject(parent) {}

void ksSceneData::setCurrentFile(const QString& path)
{
    if (path == m_currentFile)
        return;
    m_currentFile = path;
    emit currentFileChanged(path);
}
