// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/FieldCodec.h"
#include "scenegraph/FieldDescription.h"

#include <memory>

namespace osg {

// A value field stored in member `T C::*`.
template <class C, class T> class ValueFieldDescription : public FieldDescription {
public:
    ValueFieldDescription(std::string name, UInt32 fieldId, T C::*member)
        : FieldDescription(std::move(name), fieldId, FieldKind::Value), m_member(member)
    {
    }

    UInt64 getValueSize(const FieldContainer& fc) const override
    {
        return FieldCodec<T>::size(get(fc));
    }
    void writeValue(const FieldContainer& fc, ByteSink& sink) const override
    {
        FieldCodec<T>::write(sink, get(fc));
    }
    const char* checkValue(const UInt8* data, UInt64 size) const override
    {
        return FieldCodec<T>::check(data, size);
    }
    void readValue(FieldContainer& fc, const UInt8* data, UInt64 size) const override
    {
        FieldCodec<T>::read(data, size, static_cast<C&>(fc).*m_member);
    }
    void copyValue(FieldContainer& dst, const FieldContainer& src) const override
    {
        static_cast<C&>(dst).*m_member = get(src);
    }

private:
    const T& get(const FieldContainer& fc) const { return static_cast<const C&>(fc).*m_member; }

    T C::*m_member;
};

template <class C, class T>
std::unique_ptr<FieldDescription> makeValueField(std::string name, UInt32 fieldId, T C::*member)
{
    return std::make_unique<ValueFieldDescription<C, T>>(std::move(name), fieldId, member);
}

} // namespace osg
