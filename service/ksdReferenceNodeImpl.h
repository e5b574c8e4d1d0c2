// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "handles/ksdReferenceNode.h"

// The reference module's implementation of the host's reference node handle.
// One instance, the prototype, is registered with ksdObjectManager when the
// plug-in registers; every ksdReferenceNode handle forwards its operations to
// it, bound to the handle's node for the call.
//
// It overrides no operation yet: until the reference model is in place every
// handle operation gives the host's neutral result.
class ksdReferenceNodeImpl : public ksdReferenceNode
{
    Q_OBJECT

public:
    ksdReferenceNodeImpl();
    ~ksdReferenceNodeImpl() override;

    ksdReferenceNodeImpl(const ksdReferenceNodeImpl&) = delete;
    ksdReferenceNodeImpl& operator=(const ksdReferenceNodeImpl&) = delete;
};
