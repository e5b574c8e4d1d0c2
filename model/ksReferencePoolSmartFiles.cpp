// Licensed under the MIT licence; see LICENSE.
// The smart-file registry: each smart core's ksSmartFile, made on first use
// and handed over when cores are merged, and the loads and saves through it.
#include "model/ksReferencePool.h"

#include "io/ksSmartFile.h"
#include "model/ksReferenceNode.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceTypes.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FileReference.h"

using namespace osg;

std::shared_ptr<ksSmartFile> ksReferencePool::getSmartFile(const ExtReferencePtr& ext)
{
    std::shared_ptr<ksSmartFile>& file = m_smartFiles[ext.getFieldContainerId()];
    if (!file)
        file = std::make_shared<ksSmartFile>(ext);
    return file;
}

std::shared_ptr<ksSmartFile> ksReferencePool::takeSmartFile(const ExtReferencePtr& ext)
{
    const auto entry = m_smartFiles.find(ext.getFieldContainerId());
    if (entry == m_smartFiles.end())
        return nullptr;
    std::shared_ptr<ksSmartFile> file = std::move(entry->second);
    m_smartFiles.erase(entry);
    return file;
}

void ksReferencePool::setSmartFile(const ExtReferencePtr& ext, std::shared_ptr<ksSmartFile> file)
{
    m_smartFiles[ext.getFieldContainerId()] = std::move(file);
}

void ksReferencePool::eraseSmartFile(const ExtReferencePtr& ext)
{
    m_smartFiles.erase(ext.getFieldContainerId());
}

bool ksReferencePool::isSmartFileLoaded(const ExtReferencePtr& ext)
{
    const auto entry = m_smartFiles.find(ext.getFieldContainerId());
    return entry != m_smartFiles.end() && entry->second && entry->second->isLoaded();
}

bool ksReferencePool::loadSmartReference(const ExtReferencePtr& ext)
{
    if (!getSmartFile(ext)->load())
        return false;
    resetChanged(ext);
    return true;
}

bool ksReferencePool::unloadSmartReference(const ExtReferencePtr& ext)
{
    if (!getSmartFile(ext)->unload())
        return false;
    setChanged(ext);
    return true;
}

bool ksReferencePool::saveSmartReference(const ExtReferencePtr& ext)
{
    if (ext->getState() != ksReferenceTypes::Undefined && !isChanged(ext))
        return true;
    if (!getSmartFile(ext)->save())
        return false;
    resetChanged(ext);
    return true;
}

bool ksReferencePool::saveSmartReferenceAs(const ExtReferencePtr& ext, const QString& path)
{
    const bool wasChanged = isChanged(ext);
    const bool saved = bool(getSmartFile(ext)->saveAs(path));
    if (!wasChanged)
        resetChanged(ext);
    return saved;
}

NodePtr ksReferencePool::findLoadedClone(const ExtReferencePtr& ext)
{
    if (!ext || !ext->getSmartFile())
        return NullFC;
    ksReferenceInterface* reference = ksReferenceNode::getReferenceInterface();
    const std::string path = ext->getSmartFile()->getPath();
    // The cores of this file in ascending id order, as the smart files are
    // kept: the first loaded one is the same as a walk over all would find.
    for (const quint32 id : m_smartPaths.coresOf(path)) {
        if (id == ext.getFieldContainerId())
            continue;
        const auto entry = m_smartFiles.find(id);
        if (entry == m_smartFiles.end() || !entry->second || !entry->second->isLoaded())
            continue;
        const ksSmartFile& file = *entry->second;
        const NodePtr node = file.getNode();
        if (node && reference->isSamePath(file.getPath().toStdString(), path))
            return node;
    }
    return NullFC;
}
