// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/FieldContainerType.h"

#include "scenegraph/FieldContainer.h"

#include <cassert>

namespace osg {

FieldContainerType::FieldContainerType(std::string name, UInt32 id, const FieldContainerType* parent,
                                       CreateFunction create, Fields ownFields, UInt32 groupId)
    : TypeBase(std::move(name), id, parent)
    , m_parent(parent)
    , m_create(create)
    , m_ownFields(std::move(ownFields))
    , m_groupId(UInt16(groupId ? groupId : id))
{
    assert(id > 0 && id <= 0xFFFF && "type ids double as attachment group ids, which have 16 bits");
    if (parent)
        m_fields = parent->m_fields;
    for (const auto& f : m_ownFields) {
        assert(f->getFieldId() == m_fields.size() && "field ids continue the parent's without gaps");
        m_fields.push_back(f.get());
    }
}

FieldContainerType::~FieldContainerType() = default;

FieldContainerRefPtr FieldContainerType::createContainer() const
{
    return m_create ? m_create() : FieldContainerRefPtr();
}

const FieldDescription* FieldContainerType::findFieldDescription(const std::string& name) const
{
    for (const FieldDescription* f : m_fields)
        if (f->getName() == name)
            return f;
    return nullptr;
}

BitVector FieldContainerType::getFieldsMask() const
{
    BitVector mask = 0;
    for (const FieldDescription* f : m_fields)
        mask |= f->getFieldMask();
    return mask;
}

} // namespace osg
