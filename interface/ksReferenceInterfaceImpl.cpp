// Licensed under the MIT licence; see LICENSE.
#include "interface/ksReferenceInterfaceImpl.h"

#include "interface/ksReferenceNotification.h"
#include "interface/ksReferenceStatusText.h"
#include "model/ksReferenceSettings.h"
#include "model/ksSmartPathIndex.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"

#include <QString>

using namespace osg;

// The queries and updates are in ksReferenceInterfaceImplQueries.cpp, the
// paired detach operations in ksReferenceInterfaceImplSubReferences.cpp,
// saving, creation and clone synchronisation in
// ksReferenceInterfaceImplCreation.cpp, the file information replacement in
// ksReferenceInterfaceImplFileInfos.cpp and the import conversion in
// ksReferenceInterfaceImplImport.cpp; the notifications and the status text
// are classes of their own. This file keeps the lookups.

ksReferenceInterfaceImpl::ksReferenceInterfaceImpl() = default;

// The maps are freed without acting on what they hold: at unload the scene
// they point into may already be gone.
ksReferenceInterfaceImpl::~ksReferenceInterfaceImpl() = default;

ksReferenceTypes::LoadMode ksReferenceInterfaceImpl::getLoadMode()
{
    return ksReferenceSettings::the().getLoadMode();
}

void ksReferenceInterfaceImpl::showMissingReferencesNotification()
{
    ksReferenceNotification::showMissingReferences();
}

void ksReferenceInterfaceImpl::showUpdatesAvailableNotification()
{
    ksReferenceNotification::showUpdatesAvailable();
}

ExtReferencePtr ksReferenceInterfaceImpl::getExtReference(const NodePtr& node)
{
    if (!node)
        return NullFC;
    return ExtReferencePtr::dcast(node->getCore());
}

ExtReferencePtr ksReferenceInterfaceImpl::getExtReferenceById(UInt32 coreId)
{
    // dcast tests the type chain, so a FileReference or a node id gives
    // NullFC as well as an id whose container is gone.
    return ExtReferencePtr::dcast(FieldContainerFactory::the()->getContainer(coreId));
}

std::string ksReferenceInterfaceImpl::getReferenceStatusText(const NodePtr& node)
{
    return ksReferenceStatusText::get(node);
}

bool ksReferenceInterfaceImpl::isSamePath(const std::string& a, const std::string& b)
{
    // The pool's index of smart files groups paths by the same rule.
    return ksSmartPathIndex::normalise(a) == ksSmartPathIndex::normalise(b);
}

bool ksReferenceInterfaceImpl::isSameSmartReference(const ExtReferencePtr& a, const ExtReferencePtr& b)
{
    if (a == b)
        return true;
    if (!a || !b)
        return false;
    const FileReferencePtr smartA = a->getSmartFile();
    const FileReferencePtr smartB = b->getSmartFile();
    if (!smartA || !smartB)
        return false;
    if (smartA->getState() == ksReferenceTypes::NoPath || smartB->getState() == ksReferenceTypes::NoPath)
        return false;
    // Through the virtual table, as every caller of the interface does.
    return isSamePath(smartA->getPath(), smartB->getPath());
}

bool ksReferenceInterfaceImpl::isExtReference(const NodePtr& node)
{
    return bool(getExtReference(node));
}

