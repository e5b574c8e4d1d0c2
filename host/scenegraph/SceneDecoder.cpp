// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/SceneDecoder.h"

#include "scenegraph/ByteCursor.h"
#include "scenegraph/FieldContainer.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/MemoryPages.h"
#include "scenegraph/SceneBlockFormat.h"

#include <cstring>
#include <unordered_map>

namespace osg {

namespace {
std::string num(UInt64 v)
{
    return std::to_string(v);
}
} // namespace

SceneDecoder::SceneDecoder() = default;
SceneDecoder::SceneDecoder(const Limits& limits) : m_limits(limits) {}
SceneDecoder::~SceneDecoder() = default;

bool SceneDecoder::fail(std::string message)
{
    m_error = std::move(message);
    return false;
}

std::string SceneDecoder::where(UInt32 record) const
{
    std::string s = "record " + num(record);
    if (record < m_types.size() && m_types[record])
        s += " (" + m_types[record]->getName() + ")";
    return s;
}

std::string SceneDecoder::where(UInt32 record, const FieldDescription& field) const
{
    return where(record) + "." + field.getName();
}

bool SceneDecoder::decode(const UInt8* data, std::size_t size)
{
    m_error.clear();
    m_roots.clear();
    m_bytesRead = 0;
    m_types.clear();
    m_fieldBegin.clear();
    m_fields.clear();
    m_refs.clear();
    m_rootRecords.clear();
    m_recordStart.clear();
    m_fieldNames.clear();

    std::size_t bodySize = 0;
    if (!readHeader(data, size, bodySize))
        return false;
    if (m_wholeBuffer && sceneblock::HeaderSize + bodySize != size)
        return fail(num(size - sceneblock::HeaderSize - bodySize) + " unexpected bytes after the scene block");
    if (!readBody(data + sceneblock::HeaderSize, bodySize) || !checkReferences() || !checkGraph())
        return false;
    if (m_singleRootType
        && (m_rootRecords.size() != 1 || !m_types[m_rootRecords.front()]->isDerivedFrom(*m_singleRootType)))
        return fail("roots: the scene does not hold exactly one root " + m_singleRootType->getName());
    build();
    m_bytesRead = sceneblock::HeaderSize + bodySize;
    m_fields.clear();
    m_refs.clear();
    m_recordStart.clear();
    m_fieldNames.clear();
    return true;
}

bool SceneDecoder::readHeader(const UInt8* data, std::size_t size, std::size_t& bodySize)
{
    ByteCursor c(data, size);
    const UInt8* magic = nullptr;
    UInt16 major = 0, minor = 0;
    UInt64 length = 0;
    if (!c.take(sizeof sceneblock::Magic, magic) || std::memcmp(magic, sceneblock::Magic, sizeof sceneblock::Magic))
        return fail("scene block header: not a scene block");
    if (!c.readU16(major) || !c.readU16(minor) || !c.readU64(length))
        return fail("scene block header: truncated");
    if (major != sceneblock::MajorVersion || minor > sceneblock::MinorVersion)
        return fail("scene block header: version " + num(major) + "." + num(minor) + " is not readable (this reader reads "
                    + num(sceneblock::MajorVersion) + ".0 to " + num(sceneblock::MajorVersion) + "."
                    + num(sceneblock::MinorVersion) + ")");
    if (length > c.remaining())
        return fail("scene block header: truncated (the block says " + num(length) + " bytes follow, "
                    + num(c.remaining()) + " do)");
    bodySize = std::size_t(length);
    return true;
}

bool SceneDecoder::readBody(const UInt8* body, std::size_t size)
{
    ByteCursor c(body, size);
    m_bodyEnd = body + size;

    UInt32 numStrings = 0;
    if (!c.readU32(numStrings))
        return fail("string table: truncated");
    if (numStrings > m_limits.maxStrings || UInt64(numStrings) * 4 > c.remaining())
        return fail("string table: too many strings (" + num(numStrings) + ")");
    std::vector<std::string> strings(numStrings);
    for (UInt32 i = 0; i < numStrings; ++i) {
        UInt32 length = 0;
        const UInt8* bytes = nullptr;
        if (!c.readU32(length))
            return fail("string table: truncated at string " + num(i));
        if (length > m_limits.maxNameLength)
            return fail("string table: string " + num(i) + " is too long (" + num(length) + " bytes)");
        if (!c.take(length, bytes))
            return fail("string table: truncated at string " + num(i));
        strings[i].assign(reinterpret_cast<const char*>(bytes), length);
    }

    UInt32 numRecords = 0;
    if (!c.readU32(numRecords))
        return fail("records: truncated");
    if (numRecords > m_limits.maxRecords || UInt64(numRecords) * 8 > c.remaining())
        return fail("records: too many records (" + num(numRecords) + ")");
    m_types.assign(std::size_t(numRecords) + 1, nullptr);

    // Names are resolved once per string, not once per record.
    std::vector<const FieldContainerType*> typeOfName(numStrings, nullptr);
    std::vector<bool> typeLooked(numStrings, false);
    auto& fieldsOfType = m_fieldNames;
    auto typeOf = [&](UInt32 name) {
        if (!typeLooked[name]) {
            typeOfName[name] = FieldContainerFactory::the()->findType(strings[name]);
            typeLooked[name] = true;
        }
        return typeOfName[name];
    };
    auto namesOf = [&](const FieldContainerType* type) -> FieldNames& {
        FieldNames& names = fieldsOfType[type];
        if (names.desc.empty()) {
            names.desc.assign(numStrings, nullptr);
            names.looked.assign(numStrings, false);
        }
        return names;
    };
    auto fieldOf = [&](FieldNames& names, const FieldContainerType* type, UInt32 name) {
        if (!names.looked[name]) {
            names.desc[name] = type->findFieldDescription(strings[name]);
            names.looked[name] = true;
        }
        return names.desc[name];
    };
    m_fieldBegin.reserve(std::size_t(numRecords) + 2);
    m_fieldBegin.push_back(0); // record 0 does not exist
    m_recordStart.reserve(std::size_t(numRecords) + 1);
    m_recordStart.push_back(nullptr);
    reserveTables(c, numRecords, [&](UInt32 name) { return name < numStrings ? typeOf(name) : nullptr; },
                  [&](const FieldContainerType* type, UInt32 name) {
                      return name < numStrings ? fieldOf(namesOf(type), type, name) : nullptr;
                  });

    for (UInt32 r = 1; r <= numRecords; ++r) {
        m_fieldBegin.push_back(UInt32(m_fields.size()));
        m_recordStart.push_back(body + c.offset());
        UInt32 typeName = 0, numFields = 0;
        if (!c.readU32(typeName))
            return fail(where(r) + ": truncated");
        if (typeName >= strings.size())
            return fail(where(r) + ": type name " + num(typeName) + " is not in the string table");
        const FieldContainerType* type = typeOf(typeName);
        if (!type)
            return fail(where(r) + ": unknown type '" + strings[typeName] + "'");
        m_types[r] = type;
        if (type->isAbstract())
            return fail(where(r) + ": abstract type");
        if (!c.readU32(numFields))
            return fail(where(r) + ": truncated");
        if (numFields > m_limits.maxFieldsPerRecord || UInt64(numFields) * 12 > c.remaining())
            return fail(where(r) + ": too many fields (" + num(numFields) + ")");

        FieldNames& names = namesOf(type);
        BitVector seen = 0;
        for (UInt32 f = 0; f < numFields; ++f) {
            UInt32 fieldName = 0;
            UInt64 length = 0;
            const UInt8* payload = nullptr;
            if (!c.readU32(fieldName) || !c.readU64(length))
                return fail(where(r) + ": truncated");
            if (fieldName >= strings.size())
                return fail(where(r) + ": field name " + num(fieldName) + " is not in the string table");
            const FieldDescription* desc = fieldOf(names, type, fieldName);
            if (!c.take(length, payload))
                return fail(where(r) + "." + strings[fieldName] + ": truncated");
            if (!desc)
                continue; // written by a newer version: skipped
            if (seen & desc->getFieldMask())
                return fail(where(r, *desc) + ": appears twice");
            seen |= desc->getFieldMask();
            if (!readField(r, *desc, payload, length))
                return false;
        }
    }
    m_fieldBegin.push_back(UInt32(m_fields.size()));

    UInt32 numRoots = 0;
    if (!c.readU32(numRoots))
        return fail("roots: truncated");
    if (numRoots > m_limits.maxRoots || UInt64(numRoots) * 4 > c.remaining())
        return fail("roots: too many roots (" + num(numRoots) + ")");
    for (UInt32 i = 0; i < numRoots; ++i) {
        UInt32 record = 0;
        c.readU32(record);
        if (record == 0 || record > numRecords)
            return fail("roots: root " + num(i) + " refers to record " + num(record) + ", which does not exist");
        m_rootRecords.push_back(record);
    }
    if (!c.atEnd())
        return fail("roots: " + num(c.remaining()) + " unexpected bytes after the roots");
    return true;
}

template <class TypeOf, class FieldOf>
void SceneDecoder::reserveTables(ByteCursor records, UInt32 numRecords, TypeOf typeOf, FieldOf fieldOf)
{
    // A quick pass over the record and field headers counts the reference
    // fields and their entries, so that both tables are allocated once at
    // their final size: grown while reading, they cost a quarter of the
    // decode and, at each growth, held the old and the new array at once. The pass checks
    // only what it needs to walk; it stops at the first thing that does not
    // fit, and the reading pass then says what is wrong. Both counts are
    // bounded by the bytes there (a field header is 12 bytes, an entry 4).
    std::size_t fields = 0, refs = 0;
    for (UInt32 r = 1; r <= numRecords; ++r) {
        UInt32 typeName = 0, numFields = 0;
        if (!records.readU32(typeName) || !records.readU32(numFields) || numFields > m_limits.maxFieldsPerRecord)
            break;
        const FieldContainerType* type = typeOf(typeName);
        if (!type)
            break;
        bool whole = true;
        for (UInt32 f = 0; f < numFields && whole; ++f) {
            UInt32 fieldName = 0;
            UInt64 length = 0;
            const UInt8* payload = nullptr;
            whole = records.readU32(fieldName) && records.readU64(length) && records.take(length, payload);
            if (!whole)
                break;
            if (const FieldDescription* desc = fieldOf(type, fieldName)) {
                fields += desc->isReference() ? 1 : 0;
                switch (desc->getKind()) {
                case FieldKind::Value:
                    break;
                case FieldKind::Reference:
                    ++refs;
                    break;
                case FieldKind::ReferenceList:
                    refs += std::size_t(length / 8);
                    break;
                case FieldKind::Children:
                    refs += std::size_t(length / 4);
                    break;
                }
            }
        }
        if (!whole)
            break;
    }
    m_fields.reserve(fields);
    m_refs.reserve(refs);
}

bool SceneDecoder::readField(UInt32 record, const FieldDescription& desc, const UInt8* data, UInt64 size)
{
    const UInt32 refBegin = UInt32(m_refs.size());
    const UInt32 numRecords = UInt32(m_types.size() - 1);
    auto addRef = [&](UInt32 key, UInt32 target, bool nullAllowed) {
        if (target == 0 && !nullAllowed)
            return fail(where(record, desc) + ": empty entry in a list");
        if (target > numRecords)
            return fail(where(record, desc) + ": refers to record " + num(target) + ", which does not exist");
        m_refs.push_back({key, target});
        return true;
    };

    switch (desc.getKind()) {
    case FieldKind::Value:
        // Checked now, read again from the block when the container is built:
        // a table entry per value field would cost more memory than the
        // whole scene's containers.
        if (const char* why = desc.checkValue(data, size))
            return fail(where(record, desc) + ": " + why);
        return true;
    case FieldKind::Reference: {
        if (size != 4)
            return fail(where(record, desc) + (size < 4 ? ": truncated" : ": too long"));
        UInt32 target = 0;
        std::memcpy(&target, data, 4);
        if (!addRef(0, target, true))
            return false;
        break;
    }
    case FieldKind::ReferenceList:
    case FieldKind::Children: {
        const bool keyed = desc.getKind() == FieldKind::ReferenceList;
        const UInt64 entrySize = keyed ? 8 : 4;
        if (size % entrySize != 0)
            return fail(where(record, desc) + ": length is not a whole number of entries");
        for (UInt64 at = 0; at < size; at += entrySize) {
            UInt32 key = 0, target = 0;
            if (keyed)
                std::memcpy(&key, data + at, 4);
            std::memcpy(&target, data + at + (keyed ? 4 : 0), 4);
            if (!addRef(key, target, false))
                return false;
        }
        break;
    }
    }
    m_fields.push_back({&desc, refBegin, UInt32(m_refs.size())});
    return true;
}

bool SceneDecoder::checkReferences()
{
    std::vector<FieldReference> refs;
    for (UInt32 r = 1; r < m_types.size(); ++r) {
        for (UInt32 f = m_fieldBegin[r]; f < m_fieldBegin[r + 1]; ++f) {
            const Field& field = m_fields[f];
            if (!field.desc->isReference())
                continue;
            const FieldContainerType& wanted = *field.desc->getTargetType();
            refs.clear();
            for (UInt32 i = field.refBegin; i < field.refEnd; ++i) {
                const Ref& ref = m_refs[i];
                if (ref.record == 0)
                    continue;
                const FieldContainerType* type = m_types[ref.record];
                if (!type->isDerivedFrom(wanted))
                    return fail(where(r, *field.desc) + ": " + where(ref.record) + " is not a " + wanted.getName());
                refs.push_back({ref.key, nullptr, type});
            }
            if (const char* why = field.desc->checkReferences(refs))
                return fail(where(r, *field.desc) + ": " + why);
        }
    }
    return true;
}

bool SceneDecoder::checkGraph()
{
    const std::size_t count = m_types.size();
    // The edges of a record are contiguous in m_refs, since fields and their
    // references were stored in record order.
    auto edgesBegin = [&](UInt32 r) {
        return m_fieldBegin[r] < m_fieldBegin[r + 1] ? m_fields[m_fieldBegin[r]].refBegin : UInt32(0);
    };
    auto edgesEnd = [&](UInt32 r) {
        return m_fieldBegin[r] < m_fieldBegin[r + 1] ? m_fields[m_fieldBegin[r + 1] - 1].refEnd : UInt32(0);
    };

    std::vector<UInt32> parentOf(count, 0);
    for (UInt32 r = 1; r < count; ++r)
        for (UInt32 f = m_fieldBegin[r]; f < m_fieldBegin[r + 1]; ++f) {
            if (m_fields[f].desc->getKind() != FieldKind::Children)
                continue;
            for (UInt32 i = m_fields[f].refBegin; i < m_fields[f].refEnd; ++i) {
                const UInt32 child = m_refs[i].record;
                if (parentOf[child])
                    return fail(where(child) + ": child of both record " + num(parentOf[child]) + " and record "
                                + num(r));
                parentOf[child] = r;
            }
        }

    enum : UInt8 { Unseen, OnPath, Done };
    std::vector<UInt8> state(count, Unseen);
    struct Step {
        UInt32 record;
        UInt32 next;
    };
    std::vector<Step> path;
    for (UInt32 root : m_rootRecords) {
        if (parentOf[root])
            return fail("roots: " + where(root) + " is also the child of record " + num(parentOf[root]));
        if (state[root] != Unseen)
            continue; // also owned by an earlier root: shared, like any container
        state[root] = OnPath;
        path.push_back({root, edgesBegin(root)});
        while (!path.empty()) {
            Step& top = path.back();
            if (top.next >= edgesEnd(top.record)) {
                state[top.record] = Done;
                path.pop_back();
                continue;
            }
            const UInt32 from = top.record;
            const UInt32 target = m_refs[top.next++].record;
            if (target == 0 || state[target] == Done)
                continue;
            if (state[target] == OnPath)
                return fail(where(target) + ": reference cycle through " + where(from));
            if (path.size() >= m_limits.maxDepth)
                return fail(where(target) + ": nested deeper than " + num(m_limits.maxDepth) + " levels");
            state[target] = OnPath;
            path.push_back({target, edgesBegin(target)});
        }
    }
    for (UInt32 r = 1; r < count; ++r)
        if (state[r] == Unseen)
            return fail(where(r) + ": not reachable from any root");
    return true;
}

namespace {

// Gives the pages of a table's elements before an index back to the system,
// a step at a time, once they are read for the last time. The table keeps
// its size; the pages come back as zeros should it be written again.
template <class T>
class TableRelease
{
public:
    explicit TableRelease(const std::vector<T>& table) : m_table(table) {}

    void before(std::size_t index, std::size_t step)
    {
        if ((index - m_released) * sizeof(T) < step)
            return;
        releasePages(m_table.data() + m_released, (index - m_released) * sizeof(T));
        m_released = index;
    }

private:
    const std::vector<T>& m_table;
    std::size_t m_released = 0;
};

} // namespace

void SceneDecoder::build()
{
    const std::size_t count = m_types.size();
    // Each container's users are counted first (a user holding one target
    // in two fields counts once: a record's edges lie together), so that a
    // list of hundreds of users is sized once.
    std::vector<UInt32> users(count, 0);
    {
        std::vector<UInt32> lastUser(count, 0);
        for (UInt32 r = 1; r < count; ++r)
            for (UInt32 f = m_fieldBegin[r]; f < m_fieldBegin[r + 1]; ++f)
                for (UInt32 i = m_fields[f].refBegin; i < m_fields[f].refEnd; ++i) {
                    const UInt32 target = m_refs[i].record;
                    if (target && lastUser[target] != r) {
                        lastUser[target] = r;
                        ++users[target];
                    }
                }
    }
    // Containers are made when the build reaches their record or a record
    // that refers to them, not all at first: made at once they were the
    // peak of a large load, next to the whole input the build then gives
    // back step by step. Their ids still follow the record order.
    std::vector<FieldContainerRefPtr> created(count);
    const UInt32 firstId = count > 1 ? FieldContainerFactory::the()->reserveIds(UInt32(count - 1)) : 0;
    const auto make = [&](UInt32 r) -> FieldContainer* {
        FieldContainerRefPtr& fc = created[r];
        if (!fc) {
            const FieldContainerFactory::IdReservation id(firstId + r - 1);
            fc = m_types[r]->createContainer();
            if (users[r] > 1)
                fc->m_users.reserve(users[r]);
        }
        return fc.getCPtr();
    };

    std::vector<FieldReference> refs;
    std::vector<BitVector> masks(count, 0);
    // Records are built in the order they lie in the block, and nothing reads
    // a record twice: what lies behind goes back to the system every few
    // megabytes, so the block and the scene built from it are not held whole
    // at once. The same holds for the tables walked in step with the records
    // (a tenth of a reference's memory at the peak of a large load); only
    // the record types are looked up out of order.
    constexpr std::size_t ReleaseStep = std::size_t(4) << 20;
    const UInt8* released = count > 1 ? m_recordStart[1] : m_bodyEnd;
    TableRelease<Field> fieldsDone(m_fields);
    TableRelease<Ref> refsDone(m_refs);
    TableRelease<const UInt8*> startsDone(m_recordStart);
    TableRelease<UInt32> beginsDone(m_fieldBegin);
    for (UInt32 r = 1; r < count; ++r) {
        if (m_releaseInput && std::size_t(m_recordStart[r] - released) >= ReleaseStep) {
            releasePages(released, std::size_t(m_recordStart[r] - released));
            released = m_recordStart[r];
        }
        if (m_fieldBegin[r] < m_fieldBegin[r + 1])
            refsDone.before(m_fields[m_fieldBegin[r]].refBegin, ReleaseStep);
        fieldsDone.before(m_fieldBegin[r], ReleaseStep);
        startsDone.before(r, ReleaseStep);
        beginsDone.before(r, ReleaseStep);
        FieldContainer& fc = *make(r);
        const FieldNames& names = m_fieldNames.find(m_types[r])->second;
        UInt32 nextReference = m_fieldBegin[r];
        // The record was checked whole: this walk cannot run out of bytes.
        ByteCursor c(m_recordStart[r], std::size_t(m_bodyEnd - m_recordStart[r]));
        UInt32 typeName = 0, numFields = 0;
        c.readU32(typeName);
        c.readU32(numFields);
        for (UInt32 f = 0; f < numFields; ++f) {
            UInt32 fieldName = 0;
            UInt64 length = 0;
            const UInt8* payload = nullptr;
            c.readU32(fieldName);
            c.readU64(length);
            c.take(length, payload);
            const FieldDescription* desc = names.desc[fieldName];
            if (!desc)
                continue;
            masks[r] |= desc->getFieldMask();
            if (!desc->isReference()) {
                desc->readValue(fc, payload, length);
                if (m_releaseInput && length >= LargeArrayBytes)
                    releasePages(payload, std::size_t(length));
                continue;
            }
            const Field& field = m_fields[nextReference++];
            refs.clear();
            for (UInt32 i = field.refBegin; i < field.refEnd; ++i)
                if (m_refs[i].record)
                    refs.push_back({m_refs[i].key, make(m_refs[i].record), m_types[m_refs[i].record]});
            desc->setReferences(fc, refs);
        }
    }

    // Announced at creation; now published like any other edit.
    for (UInt32 r = 1; r < count; ++r) {
        beginEditCP(created[r], masks[r]);
        endEditCP(created[r], masks[r]);
    }
    for (UInt32 root : m_rootRecords)
        m_roots.push_back(created[root]);
}

} // namespace osg
