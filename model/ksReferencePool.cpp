// Licensed under the MIT licence; see LICENSE.
#include "model/ksReferencePool.h"

#include "model/ksMutexLocker.h"
#include "model/ksReferenceNode.h"
#include "references/ksReferenceInterface.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FileReference.h"

// The pool's parts: the hooks that keep its tables in step with the scene
// graph (ksReferencePoolHooks.cpp), the status table the update monitor reads
// (ksReferencePoolStatusTable.cpp), change tracking (ksReferencePoolChanges.cpp),
// the smart-file registry (ksReferencePoolSmartFiles.cpp) and the scene queries
// (ksReferencePoolQueries.cpp). This file keeps the pool's life.

using namespace osg;

ksReferencePool& ksReferencePool::instance()
{
    static ksReferencePool pool;
    return pool;
}

ksReferencePool::ksReferencePool() = default;

ksReferencePool::~ksReferencePool()
{
    // Containers released after the pool at process exit must not reach it.
    if (m_callbacksRegistered) {
        ExtReference::setAddToPoolCallback(nullptr);
        ExtReference::setRemoveFromPoolCallback(nullptr);
        ExtReference::setUpdateInPoolCallback(nullptr);
        FileReference::setUpdateInPoolCallback(nullptr);
    }
}

void ksReferencePool::registerCallbacks()
{
    ksMutexLocker lock(m_mutex);
    ExtReference::setAddToPoolCallback([this](const ExtReferencePtr& ext) { addToPool(ext); });
    ExtReference::setRemoveFromPoolCallback([this](const ExtReferencePtr& ext) { removeFromPool(ext); });
    ExtReference::setUpdateInPoolCallback([this](const ExtReferencePtr& ext) { updateInPool(ext); });
    FileReference::setUpdateInPoolCallback([this](const FileReferencePtr& ref) { fileReferenceUpdated(ref); });
    m_callbacksRegistered = true;
}

bool ksReferencePool::isEmpty()
{
    return m_statuses.isEmpty();
}

ExtReferencePtr ksReferencePool::findCore(quint32 id)
{
    return ksReferenceNode::getReferenceInterface()->getExtReferenceById(id);
}
