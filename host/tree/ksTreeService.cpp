// Licensed under the MIT licence; see LICENSE.
#include "tree/ksTreeService.h"

#include "kernel/ksKernelServiceFactory.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/Node.h"
#include "scenegraph/NodeUtils.h"

#include <QTimer>

ksTreeService::ksTreeService(QObject* parent)
    : ksBaseService(parent)
{
}

ksTreeService::~ksTreeService() = default;

void ksTreeService::setSelection(const QList<uint>& nodeIds)
{
    QList<uint> selection;
    for (uint id : nodeIds) {
        if (!selection.contains(id))
            selection.append(id);
    }
    if (selection == m_selection)
        return;
    m_selection = selection;
    emit selectionChanged(m_selection);
}

void ksTreeService::notifyScenegraphChanged()
{
    ksKernelServiceFactory& factory = ksKernelServiceFactory::the();
    if (factory.has<ksTreeService>())
        factory.get<ksTreeService>()->requestScenegraphChanged();
}

void ksTreeService::requestScenegraphChanged()
{
    if (m_changePending)
        return;
    m_changePending = true;
    QTimer::singleShot(0, this, [this] { emitScenegraphChanged(); });
}

void ksTreeService::emitScenegraphChanged()
{
    m_changePending = false;
    QList<uint> kept;
    for (uint id : m_selection) {
        const osg::NodePtr node = osg::NodePtr::dcast(osg::FieldContainerFactory::the()->getContainer(id));
        if (node && osg::NodeUtils::isScenegraphNode(node))
            kept.append(id);
    }
    setSelection(kept);
    emit scenegraphChanged();
}
