// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/Attachment.h"

#include <string>

namespace osg {

// The name of a node, core or material, as an attachment.
class Name : public Attachment {
public:
    enum { NameFieldId = Attachment::NextFieldId, NextFieldId };
    static constexpr BitVector NameFieldMask = fieldMask(NameFieldId);
    static_assert(NextFieldId <= 64, "field masks have 64 bits");

    static const FieldContainerType& getClassType();
    static UInt32 getClassTypeId() { return getClassType().getId(); }
    const FieldContainerType& getType() const override;
    static NameRefPtr create();

    const std::string& getName() const { return m_name; }
    void setName(const std::string& name) { m_name = name; }

protected:
    Name();
    ~Name() override;

private:
    friend class FieldContainer;
    std::string m_name;
};

using NameBase = Name;

// The name in the container's Name attachment (binding 0); empty when it has none.
std::string getName(const AttachmentContainerPtr& container);
// Sets the name, adding a Name attachment when there is none. Publishes nothing.
void setName(const AttachmentContainerPtr& container, const std::string& name);

} // namespace osg
