// Licensed under the MIT licence; see LICENSE.
#include "handles/ksdObject.h"

#include "handles/ksdObjectManager.h"

#include <QDataStream>

ksdObject::ksdObject()
    : ksdObject(0, &staticMetaObject)
{
}

ksdObject::ksdObject(quint32 objectId)
    : ksdObject(objectId, &staticMetaObject)
{
}

ksdObject::ksdObject(quint32 objectId, const QMetaObject* type)
    : QObject()
    , m_objectId(objectId)
    , m_type(type)
{
}

ksdObject::ksdObject(const ksdObject& other)
    : QObject()
    , m_objectId(other.m_objectId)
    , m_type(other.m_type)
{
}

ksdObject& ksdObject::operator=(const ksdObject& other)
{
    m_objectId = other.m_objectId;
    m_type = other.m_type;
    return *this;
}

ksdObject::~ksdObject() = default;

bool ksdObject::isOfType(const QMetaObject& type) const
{
    return m_type->inherits(&type);
}

void ksdObject::setType(const QMetaObject* type)
{
    if (type)
        m_type = type;
}

QDataStream& operator<<(QDataStream& stream, const ksdObject& handle)
{
    stream << handle.getObjectId() << QByteArray(handle.getType()->className());
    return stream;
}

QDataStream& operator>>(QDataStream& stream, ksdObject& handle)
{
    quint32 id = 0;
    QByteArray typeName;
    stream >> id >> typeName;
    if (stream.status() != QDataStream::Ok)
        return stream;
    handle.m_objectId = id;
    // The stream may name a type this process does not know, or one the
    // target cannot hold (a node's type read into a reference handle): then
    // the target keeps its own class as the type.
    const QMetaObject* type = ksdObjectManager::instance().findType(typeName);
    handle.m_type = type && type->inherits(handle.metaObject()) ? type : handle.metaObject();
    return stream;
}
