// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/BaseTypes.h"

#include <string>

namespace osg {

// A named type with an exact id and a single parent.
class TypeBase {
public:
    TypeBase(std::string name, UInt32 id, const TypeBase* parent);
    TypeBase(const TypeBase&) = delete;
    TypeBase& operator=(const TypeBase&) = delete;
    virtual ~TypeBase();

    UInt32 getId() const { return m_id; }
    const std::string& getName() const { return m_name; }
    const Char8* getCName() const { return m_name.c_str(); }
    const TypeBase* getParent() const { return m_parent; }

    // True for the type itself and for every type derived from `other`.
    bool isDerivedFrom(const TypeBase& other) const;

    bool operator==(const TypeBase& other) const { return m_id == other.m_id; }
    bool operator!=(const TypeBase& other) const { return m_id != other.m_id; }

private:
    std::string m_name;
    UInt32 m_id;
    const TypeBase* m_parent;
};

} // namespace osg
