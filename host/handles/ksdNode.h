// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "handles/ksdSceneObject.h"

#include <QList>

// The handle of a scene node. ksTypeConverter makes one from a node, typed
// by the node's core: a reference node's handle reports ksdReferenceNode as
// its type and can be turned into a ksdReferenceNode.
class ksdNode : public ksdSceneObject
{
    Q_OBJECT

public:
    ksdNode();
    explicit ksdNode(quint32 nodeId);
    ksdNode(const ksdNode& other);
    ksdNode& operator=(const ksdNode& other);
    ~ksdNode() override;

    // The user's lock on the node: operations on a locked node leave it
    // alone. False for a null handle or a node that is gone.
    bool isLocked() const;

    // Meta-types "ksdNode" and "QList<ksdNode>" with stream operators and
    // comparators. The host library does this when it loads, so that the
    // registered functions are the host's; calling again does nothing.
    static void registerMetaTypes();

protected:
    ksdNode(quint32 nodeId, const QMetaObject* type);
};

Q_DECLARE_METATYPE(ksdNode)
