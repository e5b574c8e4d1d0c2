// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/HandleTypes.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace osg {

class ByteCursor;
class FieldContainerType;
class FieldDescription;

// Reads one scene block (layout in SceneBlockFormat.h) from bytes it does not
// trust. Everything is checked before anything is built: bounds, counts and
// lengths against the limits and against the bytes actually there (so no
// allocation outgrows the input), types, field values, reference targets and
// their types, one parent per node, no cycles, nesting depth, and that every
// record hangs from a root. Only then are the containers created (reference
// cores are announced as usual), filled, and each edit published with the
// mask of the fields the block carried. On failure nothing was created and
// getError() says where: "record 12 (Transform).Matrix: truncated".
// Unknown fields are skipped; unknown types are an error.
class SceneDecoder {
public:
    struct Limits {
        UInt32 maxStrings = 1u << 16;
        UInt32 maxNameLength = 1024;
        UInt32 maxRecords = 1u << 26;
        UInt32 maxFieldsPerRecord = 1024;
        UInt32 maxRoots = 1u << 20;
        UInt32 maxDepth = 10000; // owning edges below a root
    };

    SceneDecoder();
    explicit SceneDecoder(const Limits& limits);
    ~SceneDecoder();

    // Checked with everything else, before anything is built: the block
    // must fill the whole buffer given to decode, and must hold exactly one
    // root, of `type` or derived.
    void requireWholeBuffer(bool on) { m_wholeBuffer = on; }
    void requireSingleRoot(const FieldContainerType* type) { m_singleRootType = type; }
    // For a caller whose buffer is its own and goes once the decode is done:
    // the pages of each large array are given back as soon as the array is
    // copied out, so the input and the scene are not held at full size at
    // once. The bytes read as zeros afterwards.
    void releaseInputAsRead(bool on) { m_releaseInput = on; }

    // Decodes the block at the start of `data`; unless the whole buffer is
    // required, bytes after it are left alone (see getBytesRead). False on
    // failure.
    bool decode(const UInt8* data, std::size_t size);

    const std::vector<FieldContainerRefPtr>& getRoots() const { return m_roots; }
    std::vector<FieldContainerRefPtr> takeRoots() { return std::move(m_roots); }
    const std::string& getError() const { return m_error; }
    // Size of the block just decoded, header included.
    std::size_t getBytesRead() const { return m_bytesRead; }

private:
    // Reference fields only (value fields are read from the block again);
    // their entries are in m_refs.
    struct Field {
        const FieldDescription* desc;
        UInt32 refBegin, refEnd;
    };
    struct Ref {
        UInt32 key;
        UInt32 record; // 1-based; 0 = none
    };

    bool fail(std::string message);
    std::string where(UInt32 record) const;
    std::string where(UInt32 record, const FieldDescription& field) const;
    bool readHeader(const UInt8* data, std::size_t size, std::size_t& bodySize);
    bool readBody(const UInt8* body, std::size_t size);
    template <class TypeOf, class FieldOf>
    void reserveTables(ByteCursor records, UInt32 numRecords, TypeOf typeOf, FieldOf fieldOf);
    bool readField(UInt32 record, const FieldDescription& desc, const UInt8* data, UInt64 size);
    bool checkReferences();
    bool checkGraph();
    void build();

    Limits m_limits;
    bool m_wholeBuffer = false;
    bool m_releaseInput = false;
    const FieldContainerType* m_singleRootType = nullptr;
    std::string m_error;
    std::size_t m_bytesRead = 0;
    std::vector<FieldContainerRefPtr> m_roots;

    std::vector<const FieldContainerType*> m_types; // per record, index 0 unused
    std::vector<UInt32> m_fieldBegin;               // per record, into m_fields; one extra at the end
    std::vector<Field> m_fields;
    std::vector<Ref> m_refs;
    std::vector<const UInt8*> m_recordStart; // per record, index 0 unused
    const UInt8* m_bodyEnd = nullptr;
    // Per type, the field of each string-table name (looked up once).
    struct FieldNames {
        std::vector<const FieldDescription*> desc;
        std::vector<bool> looked;
    };
    std::unordered_map<const FieldContainerType*, FieldNames> m_fieldNames;
    std::vector<UInt32> m_rootRecords;
};

} // namespace osg
