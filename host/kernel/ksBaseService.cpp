// Licensed under the MIT licence; see LICENSE.
#include "kernel/ksBaseService.h"

ksBaseService::ksBaseService(QObject* parent)
    : QObject(parent)
{
}

ksBaseService::~ksBaseService() = default;
