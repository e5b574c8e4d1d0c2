// Licensed under the MIT licence; see LICENSE.
#include "handles/ksdSceneObject.h"

ksdSceneObject::ksdSceneObject()
    : ksdObject(0, &staticMetaObject)
{
}

ksdSceneObject::ksdSceneObject(quint32 objectId)
    : ksdObject(objectId, &staticMetaObject)
{
}

ksdSceneObject::ksdSceneObject(quint32 objectId, const QMetaObject* type)
    : ksdObject(objectId, type)
{
}

ksdSceneObject::ksdSceneObject(const ksdSceneObject& other) = default;

ksdSceneObject& ksdSceneObject::operator=(const ksdSceneObject& other) = default;

ksdSceneObject::~ksdSceneObject() = default;
