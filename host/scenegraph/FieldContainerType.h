// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/FieldDescription.h"
#include "scenegraph/HandleTypes.h"
#include "scenegraph/TypeBase.h"

#include <memory>
#include <string>
#include <vector>

namespace osg {

// The type of a container class: its name, exact id, parent, attachment group
// and the descriptions of all its fields (inherited ones first, so that a
// field's id is its index). Abstract types cannot create containers.
class FieldContainerType : public TypeBase {
public:
    using CreateFunction = FieldContainerRefPtr (*)();
    using Fields = std::vector<std::unique_ptr<FieldDescription>>;

    // `groupId` 0 starts a group of its own (the type's id).
    FieldContainerType(std::string name, UInt32 id, const FieldContainerType* parent, CreateFunction create,
                       Fields ownFields, UInt32 groupId = 0);
    ~FieldContainerType() override;

    template <class... D> static Fields makeFields(std::unique_ptr<D>... fields)
    {
        Fields out;
        (out.push_back(std::move(fields)), ...);
        return out;
    }

    const FieldContainerType* getParent() const { return m_parent; }

    // Attachments are keyed by the group id of their type.
    UInt16 getGroupId() const { return m_groupId; }

    bool isAbstract() const { return m_create == nullptr; }
    FieldContainerRefPtr createContainer() const;

    UInt32 getNumFieldDescs() const { return UInt32(m_fields.size()); }
    const std::vector<const FieldDescription*>& getFieldDescriptions() const { return m_fields; }
    const FieldDescription* getFieldDescription(UInt32 fieldId) const
    {
        return fieldId < m_fields.size() ? m_fields[fieldId] : nullptr;
    }
    const FieldDescription* findFieldDescription(const std::string& name) const;

    // The mask of every field this type has.
    BitVector getFieldsMask() const;

private:
    const FieldContainerType* m_parent;
    CreateFunction m_create;
    Fields m_ownFields;
    std::vector<const FieldDescription*> m_fields;
    UInt16 m_groupId;
};

} // namespace osg
