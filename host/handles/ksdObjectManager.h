// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QMetaObject>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <vector>

class ksdObject;

// The host's registry of handle classes:
// - handle types: each handle class (by its meta-object) gets a type id;
// - external types: which handle type stands for which scene-graph core
//   type (ExtReference cores get ksdReferenceNode handles);
// - creators: a function per handle type that makes an empty handle;
// - implementations: the prototype objects that modules register to carry
//   out the operations of a handle class (see ksdReferenceNode).
//
// Main thread only. Implementations hold module code: the host drops them
// (clearImplementations) before it unloads modules.
class ksdObjectManager
{
public:
    using TypeId = quint64;
    using Creator = std::function<std::shared_ptr<ksdObject>()>;

    // Made on first use and never destroyed, since handles reach it from
    // exit-time destructors.
    static ksdObjectManager& instance();

    // The prototype serves every handle class it derives from; the newest
    // registration answers first.
    void registerImplementation(std::shared_ptr<ksdObject> implementation);
    // The newest implementation derived from `handleType` (and not the
    // handle class itself), or null.
    std::shared_ptr<ksdObject> getImplementation(const QMetaObject& handleType) const;
    void clearImplementations();

    // The type id of a handle class; the same class always gets the same id.
    TypeId registerType(const QMetaObject* type);
    // Ties a handle type to a scene-graph core type id (and so to the core
    // types derived from it that have no tie of their own).
    void registerExternalType(TypeId handleType, quint64 coreTypeId);
    void registerCreator(TypeId handleType, Creator creator);

    // The whole registration of handle class T for a core type: T's
    // meta-types, its handle type and the tie to the core type, its creator,
    // then the check of T's class infos.
    template <class T>
    TypeId registerToPtr(quint64 coreTypeId)
    {
        T::registerMetaTypes();
        const TypeId type = registerType(&T::staticMetaObject);
        registerExternalType(type, coreTypeId);
        registerCreator(type, &T::createEmpty);
        checkClassInfos(&T::staticMetaObject);
        return type;
    }

    // Class infos override properties of the class; an entry that names no
    // property is reported through Qt's critical log.
    void checkClassInfos(const QMetaObject* type) const;

    // Lookups; null or 0 when unknown.
    const QMetaObject* findType(TypeId type) const;
    const QMetaObject* findType(const QByteArray& className) const;
    TypeId getTypeId(const QMetaObject* type) const;
    // The handle class for a core type, walking up the core type's parents
    // until one is registered.
    const QMetaObject* getExternalType(quint64 coreTypeId) const;

    // A handle of type `wanted` (or derived) for object `objectId`, whose core
    // has type `coreTypeId`. Null, with a message in Qt's critical log, when
    // no handle type is registered for the core type or the registered type
    // is not a `wanted`.
    std::shared_ptr<ksdObject> createFromExternal(quint32 objectId, quint64 coreTypeId,
                                                  const QMetaObject& wanted);
    // The same as a value; a null T on failure.
    template <class T>
    T createFromExternal(quint32 objectId, quint64 coreTypeId)
    {
        const std::shared_ptr<ksdObject> made = createFromExternal(objectId, coreTypeId, T::staticMetaObject);
        return made ? T(*static_cast<T*>(made.get())) : T();
    }

private:
    ksdObjectManager() = default;

    struct Type
    {
        const QMetaObject* metaObject;
        Creator creator;
    };

    TypeId findExternal(quint64 coreTypeId) const;

    std::vector<Type> m_types; // index + 1 is the type id
    QHash<QByteArray, TypeId> m_typesByName;
    QHash<quint64, TypeId> m_externalTypes;
    std::vector<std::shared_ptr<ksdObject>> m_implementations;
};
