// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/FieldContainer.h"

namespace osg {

// One edit as a scope: beginEditCP on construction, endEditCP (publication)
// on destruction. Holds the container, so it outlives the edit.
class CPEditor {
public:
    explicit CPEditor(const FieldContainerPtr& fc, BitVector mask = FieldBits::AllFields, UInt32 origin = 1)
        : m_fc(fc), m_mask(mask), m_origin(origin)
    {
        beginEditCP(fc, mask, origin);
    }
    ~CPEditor() { endEditCP(m_fc.get(), m_mask, m_origin); }

    CPEditor(const CPEditor&) = delete;
    CPEditor& operator=(const CPEditor&) = delete;

private:
    FieldContainerRefPtr m_fc;
    BitVector m_mask;
    UInt32 m_origin;
};

} // namespace osg
