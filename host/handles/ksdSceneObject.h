// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "handles/ksdObject.h"

// A handle of an object that lives in the scene graph (nodes, cores,
// materials).
class ksdSceneObject : public ksdObject
{
    Q_OBJECT

public:
    ksdSceneObject();
    explicit ksdSceneObject(quint32 objectId);
    ksdSceneObject(const ksdSceneObject& other);
    ksdSceneObject& operator=(const ksdSceneObject& other);
    ~ksdSceneObject() override;

protected:
    ksdSceneObject(quint32 objectId, const QMetaObject* type);
};

Q_DECLARE_METATYPE(ksdSceneObject)
