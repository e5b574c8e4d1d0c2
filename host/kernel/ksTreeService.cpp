// Licensed under the MIT licence; see LICENSE.
#include "kernel/ksTreeService.h"

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
