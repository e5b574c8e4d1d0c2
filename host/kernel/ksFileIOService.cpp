// Licensed under the MIT licence; see LICENSE.
#include "kernel/ksFileIOService.h"

ksFileIOService::ksFileIOService(QObject* parent)
    : ksBaseService(parent)
{
}

ksFileIOService::~ksFileIOService() = default;
