// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/FieldContainerFactory.h"

#include "scenegraph/Attachment.h"
#include "scenegraph/AttachmentContainer.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FieldContainer.h"
#include "scenegraph/FileInfo.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Geometry.h"
#include "scenegraph/Group.h"
#include "scenegraph/Material.h"
#include "scenegraph/MaterialGroup.h"
#include "scenegraph/Name.h"
#include "scenegraph/Node.h"
#include "scenegraph/NodeCore.h"
#include "scenegraph/Transform.h"
#include "scenegraph/Transform3D.h"
#include "scenegraph/UBRDFMaterial.h"
#include "scenegraph/UEnvironmentMaterial.h"
#include "scenegraph/UberCamera.h"

#include <cassert>
#include <cstdlib>

namespace osg {

FieldContainerFactory* FieldContainerFactory::the()
{
    // Never destroyed: containers owned by static objects may outlive any
    // static factory.
    static FieldContainerFactory* factory = new FieldContainerFactory();
    return factory;
}

FieldContainerFactory::FieldContainerFactory()
{
    // Type objects never call back into the factory, so they can be built
    // here in any state of static initialisation.
    for (const FieldContainerType* type :
         {&FieldContainer::getClassType(), &AttachmentContainer::getClassType(), &Attachment::getClassType(),
          &Name::getClassType(), &FileInfo::getClassType(), &Node::getClassType(), &NodeCore::getClassType(),
          &Group::getClassType(), &Transform::getClassType(), &Transform3D::getClassType(),
          &ExtReference::getClassType(), &MaterialGroup::getClassType(), &UberCamera::getClassType(),
          &Geometry::getClassType(), &FileReference::getClassType(), &Material::getClassType(),
          &UBRDFMaterial::getClassType(), &UEnvironmentMaterial::getClassType()})
        registerType(*type);
}

void FieldContainerFactory::registerType(const FieldContainerType& type)
{
    assert(!findType(type.getId()) && !findType(type.getName()) && "type ids and names are unique");
    m_types.push_back(&type);
}

const FieldContainerType* FieldContainerFactory::findType(UInt32 typeId) const
{
    for (const FieldContainerType* t : m_types)
        if (t->getId() == typeId)
            return t;
    return nullptr;
}

const FieldContainerType* FieldContainerFactory::findType(const std::string& name) const
{
    for (const FieldContainerType* t : m_types)
        if (t->getName() == name)
            return t;
    return nullptr;
}

UInt32 FieldContainerFactory::reserveIds(UInt32 count)
{
    // 2^32 containers in one process: ids would have to be reused.
    if (m_nextId == 0 || UInt64(m_nextId) + count > UInt64(0xFFFFFFFFu))
        std::abort();
    const UInt32 first = m_nextId;
    m_nextId += count;
    return first;
}

FieldContainerFactory::IdReservation::IdReservation(UInt32 id)
{
    FieldContainerFactory::the()->m_reservedId = id;
}

FieldContainerFactory::IdReservation::~IdReservation()
{
    FieldContainerFactory::the()->m_reservedId = 0;
}

UInt32 FieldContainerFactory::registerContainer(FieldContainer* fc)
{
    UInt32 id = m_reservedId;
    if (id != 0) {
        // Only the outermost container of one creation takes the reserved id.
        m_reservedId = 0;
    } else {
        if (m_nextId == 0) {
            // 2^32 containers in one process: ids would have to be reused.
            std::abort();
        }
        id = m_nextId++;
    }
    const UInt32 page = id >> PageBits;
    if (page >= m_pages.size())
        m_pages.resize(page + 1);
    if (!m_pages[page])
        m_pages[page] = std::make_unique<Page>();
    m_pages[page]->entries[id & (PageSize - 1)] = fc;
    ++m_pages[page]->live;
    ++m_live;
    return id;
}

void FieldContainerFactory::unregisterContainer(FieldContainer* fc)
{
    const UInt32 id = fc->getId();
    const UInt32 page = id >> PageBits;
    assert(page < m_pages.size() && m_pages[page] && m_pages[page]->entries[id & (PageSize - 1)] == fc);
    Page& p = *m_pages[page];
    p.entries[id & (PageSize - 1)] = nullptr;
    --p.live;
    --m_live;
    const bool allIdsHandedOut = page < (m_nextId >> PageBits);
    if (p.live == 0 && allIdsHandedOut)
        m_pages[page].reset();
}

FieldContainer* FieldContainerFactory::lookup(UInt32 id) const
{
    const UInt32 page = id >> PageBits;
    if (page >= m_pages.size() || !m_pages[page])
        return nullptr;
    return m_pages[page]->entries[id & (PageSize - 1)];
}

FieldContainerPtr FieldContainerFactory::getContainer(UInt32 id) const
{
    FieldContainer* fc = lookup(id);
    if (!fc || fc->isDying())
        return NullFC;
    return FieldContainerPtr(fc);
}

namespace detail {
bool isContainerAlive(UInt32 id, const FieldContainer* fc)
{
    return id != 0 && FieldContainerFactory::the()->lookup(id) == fc;
}
} // namespace detail

} // namespace osg
