// Licensed under the MIT licence; see LICENSE.
#include "fileio/ksFileIOService.h"

ksFileIOService::ksFileIOService(QObject* parent)
    : ksBaseService(parent)
{
}

ksFileIOService::~ksFileIOService() = default;

QList<ksdNode> ksFileIOService::reimportSourceFiles(const QList<ksdNode>& nodes)
{
    return m_reimport ? m_reimport(nodes) : nodes;
}

void ksFileIOService::setReimportHandler(ReimportHandler handler)
{
    m_reimport = std::move(handler);
}
