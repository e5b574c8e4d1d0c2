// Licensed under the MIT licence; see LICENSE.
#include "service/ksdReferenceNodeImpl.h"

// The prototype starts bound to no node (object id 0).
ksdReferenceNodeImpl::ksdReferenceNodeImpl() = default;

ksdReferenceNodeImpl::~ksdReferenceNodeImpl() = default;
