// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QMetaType>
#include <QObject>

class QDataStream;

// Base of the host's decoupled handles: a small value that names a scene
// object by its container id, for scripts and user interfaces that must not
// hold scene-graph pointers. Handles are QObjects, so that their classes have
// meta-objects, but they are copied like values: copying copies the id and
// the handle type, never QObject state (parent, connections, properties).
//
// The handle type is the meta-object of the most specific handle class known
// for the object (ksdObjectManager ties handle classes to core types), so a
// ksdNode of a reference node reports ksdReferenceNode's meta-object and can
// be turned into one.
class ksdObject : public QObject
{
    Q_OBJECT

public:
    ksdObject();
    explicit ksdObject(quint32 objectId);
    ksdObject(const ksdObject& other);
    ksdObject& operator=(const ksdObject& other);
    ~ksdObject() override;

    bool isNull() const { return m_objectId == 0; }
    quint32 getObjectId() const { return m_objectId; }

    // The handle type; never null.
    const QMetaObject* getType() const { return m_type; }
    // The handle type is `type` or derived from it.
    bool isOfType(const QMetaObject& type) const;

    // Handles compare by the object they name, whatever their classes.
    bool operator==(const ksdObject& other) const { return m_objectId == other.m_objectId; }
    bool operator!=(const ksdObject& other) const { return m_objectId != other.m_objectId; }
    bool operator<(const ksdObject& other) const { return m_objectId < other.m_objectId; }

protected:
    // Each handle class sets its own meta-object as the type it starts with.
    ksdObject(quint32 objectId, const QMetaObject* type);
    void setObjectId(quint32 objectId) { m_objectId = objectId; }
    void setType(const QMetaObject* type);

private:
    friend class ksdObjectManager;
    friend QDataStream& operator>>(QDataStream& stream, ksdObject& handle);

    quint32 m_objectId = 0;
    const QMetaObject* m_type;
};

inline uint qHash(const ksdObject& handle, uint seed = 0)
{
    return handle.getObjectId() ^ seed;
}

// The id and the handle type's class name. Reading restores the type when it
// is a registered handle class compatible with the target's class.
QDataStream& operator<<(QDataStream& stream, const ksdObject& handle);
QDataStream& operator>>(QDataStream& stream, ksdObject& handle);
