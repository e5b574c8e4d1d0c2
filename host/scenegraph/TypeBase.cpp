// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/TypeBase.h"

namespace osg {

TypeBase::TypeBase(std::string name, UInt32 id, const TypeBase* parent)
    : m_name(std::move(name)), m_id(id), m_parent(parent)
{
}

TypeBase::~TypeBase() = default;

bool TypeBase::isDerivedFrom(const TypeBase& other) const
{
    for (const TypeBase* t = this; t; t = t->m_parent)
        if (t->m_id == other.m_id)
            return true;
    return false;
}

} // namespace osg
