// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/FieldDescription.h"
#include "scenegraph/RefPtr.h"

#include <memory>

namespace osg {

// A single owning edge stored in member `RefPtr<T> C::*` and set through the
// class's setter, so that the target learns of its new user.
template <class C, class T> class ReferenceFieldDescription : public FieldDescription {
public:
    using Setter = void (C::*)(RefPtr<T>);

    ReferenceFieldDescription(std::string name, UInt32 fieldId, RefPtr<T> C::*member, Setter setter)
        : FieldDescription(std::move(name), fieldId, FieldKind::Reference), m_member(member), m_setter(setter)
    {
    }

    const FieldContainerType* getTargetType() const override { return &T::getClassType(); }

    void getReferences(const FieldContainer& fc, std::vector<FieldReference>& out) const override
    {
        const RefPtr<T>& target = static_cast<const C&>(fc).*m_member;
        if (target)
            out.push_back({0, target.getCPtr(), &target->getType()});
    }
    const char* checkReferences(const std::vector<FieldReference>& refs) const override
    {
        return refs.size() > 1 ? "more than one target for a single reference" : nullptr;
    }
    void setReferences(FieldContainer& fc, const std::vector<FieldReference>& refs) const override
    {
        T* target = refs.empty() ? nullptr : static_cast<T*>(refs.front().target);
        (static_cast<C&>(fc).*m_setter)(RefPtr<T>(target));
    }
    void copyValue(FieldContainer& dst, const FieldContainer& src) const override
    {
        (static_cast<C&>(dst).*m_setter)(static_cast<const C&>(src).*m_member);
    }

private:
    RefPtr<T> C::*m_member;
    Setter m_setter;
};

template <class C, class T>
std::unique_ptr<FieldDescription> makeReferenceField(std::string name, UInt32 fieldId, RefPtr<T> C::*member,
                                                     void (C::*setter)(RefPtr<T>))
{
    return std::make_unique<ReferenceFieldDescription<C, T>>(std::move(name), fieldId, member, setter);
}

} // namespace osg
