// Licensed under the MIT licence; see LICENSE.
#include "references/ksReferenceService.h"

ksReferenceService::ksReferenceService(QObject* parent)
    : ksBaseService(parent)
{
}

ksReferenceService::~ksReferenceService() = default;
