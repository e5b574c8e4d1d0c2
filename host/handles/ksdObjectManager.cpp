// Licensed under the MIT licence; see LICENSE.
#include "handles/ksdObjectManager.h"

#include "handles/ksdObject.h"
#include "scenegraph/FieldContainerFactory.h"

#include <QMetaClassInfo>

ksdObjectManager& ksdObjectManager::instance()
{
    static ksdObjectManager* manager = new ksdObjectManager;
    return *manager;
}

void ksdObjectManager::registerImplementation(std::shared_ptr<ksdObject> implementation)
{
    if (implementation)
        m_implementations.push_back(std::move(implementation));
}

std::shared_ptr<ksdObject> ksdObjectManager::getImplementation(const QMetaObject& handleType) const
{
    for (auto it = m_implementations.rbegin(); it != m_implementations.rend(); ++it) {
        const QMetaObject* type = (*it)->metaObject();
        if (type != &handleType && type->inherits(&handleType))
            return *it;
    }
    return nullptr;
}

void ksdObjectManager::clearImplementations()
{
    // Moved out first: a destructor may ask the manager again.
    std::vector<std::shared_ptr<ksdObject>> implementations;
    implementations.swap(m_implementations);
}

ksdObjectManager::TypeId ksdObjectManager::registerType(const QMetaObject* type)
{
    if (!type)
        return 0;
    if (const TypeId known = getTypeId(type))
        return known;
    m_types.push_back(Type{type, Creator()});
    const TypeId id = m_types.size();
    m_typesByName.insert(QByteArray(type->className()), id);
    return id;
}

void ksdObjectManager::registerExternalType(TypeId handleType, quint64 coreTypeId)
{
    if (findType(handleType))
        m_externalTypes.insert(coreTypeId, handleType);
}

void ksdObjectManager::registerCreator(TypeId handleType, Creator creator)
{
    if (findType(handleType))
        m_types[handleType - 1].creator = std::move(creator);
}

void ksdObjectManager::checkClassInfos(const QMetaObject* type) const
{
    if (!type)
        return;
    for (int i = type->classInfoOffset(); i < type->classInfoCount(); ++i) {
        const char* name = type->classInfo(i).name();
        if (type->indexOfProperty(name) < 0)
            qCritical("ksdObjectManager::registerType: trying to override unkown property '%s' in class '%s'!", name,
                      type->className());
    }
}

const QMetaObject* ksdObjectManager::findType(TypeId type) const
{
    return type >= 1 && type <= m_types.size() ? m_types[type - 1].metaObject : nullptr;
}

const QMetaObject* ksdObjectManager::findType(const QByteArray& className) const
{
    return findType(m_typesByName.value(className, 0));
}

ksdObjectManager::TypeId ksdObjectManager::getTypeId(const QMetaObject* type) const
{
    for (std::size_t i = 0; i < m_types.size(); ++i) {
        if (m_types[i].metaObject == type)
            return i + 1;
    }
    return 0;
}

ksdObjectManager::TypeId ksdObjectManager::findExternal(quint64 coreTypeId) const
{
    // Core types derived from a registered one (a specialised reference
    // core) get the same handles unless they have their own.
    const osg::FieldContainerFactory* factory = osg::FieldContainerFactory::the();
    const osg::TypeBase* type = coreTypeId <= 0xffffffffu ? factory->findType(osg::UInt32(coreTypeId)) : nullptr;
    if (!type)
        return m_externalTypes.value(coreTypeId, 0);
    for (; type; type = type->getParent()) {
        if (const TypeId handle = m_externalTypes.value(type->getId(), 0))
            return handle;
    }
    return 0;
}

const QMetaObject* ksdObjectManager::getExternalType(quint64 coreTypeId) const
{
    return findType(findExternal(coreTypeId));
}

std::shared_ptr<ksdObject> ksdObjectManager::createFromExternal(quint32 objectId, quint64 coreTypeId,
                                                                const QMetaObject& wanted)
{
    const TypeId handleType = findExternal(coreTypeId);
    if (!handleType) {
        qCritical("ksdObjectManager::createFromExternal: externalType %llu is not registered!",
                  static_cast<unsigned long long>(coreTypeId));
        return nullptr;
    }
    const Type& type = m_types[handleType - 1];
    if (!type.metaObject->inherits(&wanted) || !type.creator) {
        qCritical("ksdObjectManager::createFromExternal: externalType '%llu' is not a type of '%s'!",
                  static_cast<unsigned long long>(coreTypeId), wanted.className());
        return nullptr;
    }
    std::shared_ptr<ksdObject> handle = type.creator();
    if (handle) {
        handle->m_objectId = objectId;
        handle->setType(type.metaObject);
    }
    return handle;
}
