// Licensed under the MIT licence; see LICENSE.
#include "kernel/ksTreeService.h"

ksTreeService::ksTreeService(QObject* parent)
    : ksBaseService(parent)
{
}

ksTreeService::~ksTreeService() = default;
