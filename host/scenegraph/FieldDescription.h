// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/BaseTypes.h"
#include "scenegraph/ByteSink.h"

#include <string>
#include <vector>

namespace osg {

class FieldContainer;
class FieldContainerType;

enum class FieldKind : UInt8 {
    Value,         // plain data: numbers, strings, vectors, matrices, arrays
    Reference,     // one owning edge to another container, or none
    ReferenceList, // owning edges, each with a key (attachments: the binding)
    Children,      // a node's children: owning edges that set the child's parent
};

// One edge of a reference field, as the file codec sees it. While a file is
// checked the containers do not exist yet: only the key and type are set.
struct FieldReference {
    UInt32 key = 0;
    FieldContainer* target = nullptr;
    const FieldContainerType* targetType = nullptr;
};

// The typed description of one field. The binary writer and reader, the copy
// of fields between containers and the change masks all come from these, so a
// field added to a class needs nothing more than its description.
class FieldDescription {
public:
    FieldDescription(std::string name, UInt32 fieldId, FieldKind kind);
    FieldDescription(const FieldDescription&) = delete;
    FieldDescription& operator=(const FieldDescription&) = delete;
    virtual ~FieldDescription();

    const std::string& getName() const { return m_name; }
    UInt32 getFieldId() const { return m_fieldId; }
    BitVector getFieldMask() const { return fieldMask(m_fieldId); }
    FieldKind getKind() const { return m_kind; }
    bool isReference() const { return m_kind != FieldKind::Value; }

    // Value fields: encoded size, encoding, a check of foreign bytes (nullptr
    // when they are acceptable, else a short reason) and decoding of checked
    // bytes.
    virtual UInt64 getValueSize(const FieldContainer& fc) const;
    virtual void writeValue(const FieldContainer& fc, ByteSink& sink) const;
    virtual const char* checkValue(const UInt8* data, UInt64 size) const;
    virtual void readValue(FieldContainer& fc, const UInt8* data, UInt64 size) const;

    // Reference fields: the type every target must have, the current edges
    // in order, a check of edges about to be set (nullptr when acceptable),
    // and setting them on a fresh container.
    virtual const FieldContainerType* getTargetType() const;
    virtual void getReferences(const FieldContainer& fc, std::vector<FieldReference>& out) const;
    virtual const char* checkReferences(const std::vector<FieldReference>& refs) const;
    virtual void setReferences(FieldContainer& fc, const std::vector<FieldReference>& refs) const;

    // Copies this field from `src` to `dst` (both of a type that has it).
    // References are shared, not duplicated.
    virtual void copyValue(FieldContainer& dst, const FieldContainer& src) const = 0;

private:
    std::string m_name;
    UInt32 m_fieldId;
    FieldKind m_kind;
};

} // namespace osg
