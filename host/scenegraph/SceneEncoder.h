// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/ByteSink.h"
#include "scenegraph/HandleTypes.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace osg {

class FieldContainer;
class FieldContainerType;
class FieldDescription;

// Writes subtrees as one scene block (layout in SceneBlockFormat.h): every
// container the roots own, each once, with all its fields. The size is known
// before writing, so a file format embedding the block can put it in its
// header. Bulk arrays reach the sink in one piece each.
class SceneEncoder {
public:
    explicit SceneEncoder(const std::vector<FieldContainerPtr>& roots);
    explicit SceneEncoder(const NodePtr& root);

    // Size of the whole block, header included.
    UInt64 getSize() const { return m_size; }
    std::size_t getNumRecords() const { return m_records.size(); }

    void write(ByteSink& sink) const;
    std::vector<UInt8> toBytes() const;

private:
    void collect(const std::vector<FieldContainerPtr>& roots);
    UInt32 stringIndex(const std::string& s);
    UInt64 payloadSize(const FieldContainer& fc, const FieldDescription& field) const;

    std::vector<FieldContainer*> m_records;                 // in record order
    std::unordered_map<const FieldContainer*, UInt32> m_ids; // record numbers, from 1
    std::vector<UInt32> m_roots;
    std::vector<const std::string*> m_strings;
    std::unordered_map<std::string, UInt32> m_stringIndex;
    std::unordered_map<const FieldContainerType*, UInt32> m_typeNames;
    std::unordered_map<const FieldDescription*, UInt32> m_fieldNames;
    UInt64 m_size = 0;
};

} // namespace osg
