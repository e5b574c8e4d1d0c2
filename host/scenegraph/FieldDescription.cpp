// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/FieldDescription.h"

#include <cassert>

namespace osg {

FieldDescription::FieldDescription(std::string name, UInt32 fieldId, FieldKind kind)
    : m_name(std::move(name)), m_fieldId(fieldId), m_kind(kind)
{
    assert(fieldId < 64 && "a field id must fit the 64-bit change mask");
}

FieldDescription::~FieldDescription() = default;

// The defaults below serve the kind a description is not of; asking a value
// field for its references (or the reverse) is a programming error.

UInt64 FieldDescription::getValueSize(const FieldContainer&) const
{
    assert(false && "not a value field");
    return 0;
}

void FieldDescription::writeValue(const FieldContainer&, ByteSink&) const
{
    assert(false && "not a value field");
}

const char* FieldDescription::checkValue(const UInt8*, UInt64) const
{
    return "not a value field";
}

void FieldDescription::readValue(FieldContainer&, const UInt8*, UInt64) const
{
    assert(false && "not a value field");
}

const FieldContainerType* FieldDescription::getTargetType() const
{
    return nullptr;
}

void FieldDescription::getReferences(const FieldContainer&, std::vector<FieldReference>&) const
{
    assert(false && "not a reference field");
}

const char* FieldDescription::checkReferences(const std::vector<FieldReference>&) const
{
    return "not a reference field";
}

void FieldDescription::setReferences(FieldContainer&, const std::vector<FieldReference>&) const
{
    assert(false && "not a reference field");
}

} // namespace osg
