// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/FieldContainerFactory.h"

#include "interface/ksReferenceInterfaceImpl.h"

#include "scenegraph/ExtReference.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"
#include "service/ksReferenceSettings.h"

#include <QFileInfo>
#include <QString>

using namespace osg;

// The queries and updates are in ksReferenceQueries.cpp, the paired detach
// operations in ksSubReferenceOperations.cpp, saving, creation and clone
// synchronisation in ksReferenceCreation.cpp. The operations without a body
// here belong to parts of the module that are not in place yet (importer,
// status notifications); until then they give neutral results and change
// nothing.

ksReferenceInterfaceImpl::ksReferenceInterfaceImpl() = default;

// The maps are freed without acting on what they hold: at unload the scene
// they point into may already be gone.
ksReferenceInterfaceImpl::~ksReferenceInterfaceImpl() = default;

void ksReferenceInterfaceImpl::importReferences(const NodePtr&, const ksReferenceImportOptions&)
{
    // TODO(importer): run ksReferenceImporter and announce new materials.
}

ksReferenceTypes::LoadMode ksReferenceInterfaceImpl::getLoadMode()
{
    return ksReferenceSettings::the().getLoadMode();
}

void ksReferenceInterfaceImpl::showMissingReferencesNotification()
{
    // TODO(notifications)
}

void ksReferenceInterfaceImpl::showUpdatesAvailableNotification()
{
    // TODO(notifications)
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

std::string ksReferenceInterfaceImpl::getReferenceStatusText(const NodePtr&)
{
    // TODO(notifications): the coloured status text.
    return std::string();
}

bool ksReferenceInterfaceImpl::isSamePath(const std::string& a, const std::string& b)
{
    return QFileInfo(QString::fromUtf8(a.c_str())).absoluteFilePath()
           == QFileInfo(QString::fromUtf8(b.c_str())).absoluteFilePath();
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

