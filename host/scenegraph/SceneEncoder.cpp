// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/SceneEncoder.h"

#include "scenegraph/FieldContainer.h"
#include "scenegraph/MemorySink.h"
#include "scenegraph/Node.h"
#include "scenegraph/SceneBlockFormat.h"

#include <algorithm>

namespace osg {

namespace {

// Gathers small writes into large ones; large payloads pass straight through.
class BufferedSink : public ByteSink {
public:
    explicit BufferedSink(ByteSink& out) : m_out(out) { m_buffer.reserve(Capacity); }
    ~BufferedSink() override { flush(); }

    void write(const void* data, std::size_t size) override
    {
        if (size >= Capacity / 4) {
            flush();
            m_out.write(data, size);
            return;
        }
        if (m_buffer.size() + size > Capacity)
            flush();
        const auto* p = static_cast<const UInt8*>(data);
        m_buffer.insert(m_buffer.end(), p, p + size);
    }
    void u16(UInt16 v) { write(&v, sizeof v); }
    void u32(UInt32 v) { write(&v, sizeof v); }
    void u64(UInt64 v) { write(&v, sizeof v); }

    void flush()
    {
        if (!m_buffer.empty())
            m_out.write(m_buffer.data(), m_buffer.size());
        m_buffer.clear();
    }

private:
    static constexpr std::size_t Capacity = 256 * 1024;
    ByteSink& m_out;
    std::vector<UInt8> m_buffer;
};

} // namespace

SceneEncoder::SceneEncoder(const std::vector<FieldContainerPtr>& roots)
{
    collect(roots);
}

SceneEncoder::SceneEncoder(const NodePtr& root)
{
    collect(root ? std::vector<FieldContainerPtr>{root} : std::vector<FieldContainerPtr>{});
}

UInt32 SceneEncoder::stringIndex(const std::string& s)
{
    auto [it, fresh] = m_stringIndex.emplace(s, UInt32(m_strings.size()));
    if (fresh)
        m_strings.push_back(&it->first);
    return it->second;
}

UInt64 SceneEncoder::payloadSize(const FieldContainer& fc, const FieldDescription& field) const
{
    std::vector<FieldReference> refs;
    switch (field.getKind()) {
    case FieldKind::Value:
        return field.getValueSize(fc);
    case FieldKind::Reference:
        return 4;
    case FieldKind::ReferenceList:
        field.getReferences(fc, refs);
        return 8 * UInt64(refs.size());
    case FieldKind::Children:
        field.getReferences(fc, refs);
        return 4 * UInt64(refs.size());
    }
    return 0;
}

void SceneEncoder::collect(const std::vector<FieldContainerPtr>& roots)
{
    // Pre-order over owning edges, in field order: deterministic, so a scene
    // written, read and written again gives the same bytes.
    std::vector<FieldContainer*> stack;
    for (auto it = roots.rbegin(); it != roots.rend(); ++it)
        if (*it)
            stack.push_back(it->getCPtr());
    std::vector<FieldReference> refs;
    std::vector<FieldContainer*> targets;
    while (!stack.empty()) {
        FieldContainer* fc = stack.back();
        stack.pop_back();
        if (!m_ids.emplace(fc, UInt32(m_records.size() + 1)).second)
            continue;
        m_records.push_back(fc);
        const FieldContainerType& type = fc->getType();
        if (!m_typeNames.count(&type))
            m_typeNames.emplace(&type, stringIndex(type.getName()));
        targets.clear();
        for (const FieldDescription* field : type.getFieldDescriptions()) {
            if (!m_fieldNames.count(field))
                m_fieldNames.emplace(field, stringIndex(field->getName()));
            if (!field->isReference())
                continue;
            refs.clear();
            field->getReferences(*fc, refs);
            for (const FieldReference& r : refs)
                targets.push_back(r.target);
        }
        for (auto it = targets.rbegin(); it != targets.rend(); ++it)
            if (!m_ids.count(*it))
                stack.push_back(*it);
    }
    for (const FieldContainerPtr& root : roots)
        if (root)
            m_roots.push_back(m_ids.at(root.getCPtr()));

    UInt64 size = sceneblock::HeaderSize + 4;
    for (const std::string* s : m_strings)
        size += 4 + s->size();
    size += 4;
    for (const FieldContainer* fc : m_records) {
        size += 8;
        for (const FieldDescription* field : fc->getType().getFieldDescriptions())
            size += 12 + payloadSize(*fc, *field);
    }
    size += 4 + 4 * UInt64(m_roots.size());
    m_size = size;
}

void SceneEncoder::write(ByteSink& out) const
{
    BufferedSink sink(out);
    sink.write(sceneblock::Magic, sizeof sceneblock::Magic);
    sink.u16(sceneblock::MajorVersion);
    sink.u16(sceneblock::MinorVersion);
    sink.u64(m_size - sceneblock::HeaderSize);

    sink.u32(UInt32(m_strings.size()));
    for (const std::string* s : m_strings) {
        sink.u32(UInt32(s->size()));
        sink.write(s->data(), s->size());
    }

    sink.u32(UInt32(m_records.size()));
    std::vector<FieldReference> refs;
    for (const FieldContainer* fc : m_records) {
        const FieldContainerType& type = fc->getType();
        sink.u32(m_typeNames.at(&type));
        sink.u32(type.getNumFieldDescs());
        for (const FieldDescription* field : type.getFieldDescriptions()) {
            sink.u32(m_fieldNames.at(field));
            sink.u64(payloadSize(*fc, *field));
            if (!field->isReference()) {
                field->writeValue(*fc, sink);
                continue;
            }
            refs.clear();
            field->getReferences(*fc, refs);
            if (field->getKind() == FieldKind::Reference) {
                sink.u32(refs.empty() ? 0 : m_ids.at(refs.front().target));
                continue;
            }
            for (const FieldReference& r : refs) {
                if (field->getKind() == FieldKind::ReferenceList)
                    sink.u32(r.key);
                sink.u32(m_ids.at(r.target));
            }
        }
    }

    sink.u32(UInt32(m_roots.size()));
    for (UInt32 id : m_roots)
        sink.u32(id);
}

std::vector<UInt8> SceneEncoder::toBytes() const
{
    MemorySink sink;
    sink.reserve(std::size_t(m_size));
    write(sink);
    return sink.takeBytes();
}

} // namespace osg
