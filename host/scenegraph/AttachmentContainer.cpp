// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/AttachmentContainer.h"

#include "scenegraph/Attachment.h"
#include "scenegraph/BuiltinTypeIds.h"

#include <set>

namespace osg {

// The attachment map as a keyed reference list: the key of an edge is the
// binding; the group comes from the attachment's type.
class AttachmentsFieldDescription : public FieldDescription {
public:
    AttachmentsFieldDescription()
        : FieldDescription("Attachments", AttachmentContainer::AttachmentsFieldId, FieldKind::ReferenceList)
    {
    }

    const FieldContainerType* getTargetType() const override { return &Attachment::getClassType(); }

    void getReferences(const FieldContainer& fc, std::vector<FieldReference>& out) const override
    {
        for (const auto& [key, att] : static_cast<const AttachmentContainer&>(fc).getSFAttachments())
            out.push_back({key & 0xFFFFu, att.getCPtr(), &att->getType()});
    }

    const char* checkReferences(const std::vector<FieldReference>& refs) const override
    {
        std::set<UInt32> keys;
        for (const FieldReference& r : refs) {
            if (r.key > 0xFFFF)
                return "attachment binding out of range";
            if (!keys.insert(AttachmentContainer::attachmentKey(r.targetType->getGroupId(), UInt16(r.key))).second)
                return "two attachments under one group and binding";
        }
        return nullptr;
    }

    void setReferences(FieldContainer& fc, const std::vector<FieldReference>& refs) const override
    {
        auto& ac = static_cast<AttachmentContainer&>(fc);
        for (const FieldReference& r : refs)
            ac.addAttachment(AttachmentRefPtr(static_cast<Attachment*>(r.target)), UInt16(r.key));
    }

    void copyValue(FieldContainer& dst, const FieldContainer& src) const override
    {
        auto& to = static_cast<AttachmentContainer&>(dst);
        while (!to.getSFAttachments().empty()) {
            const auto it = to.getSFAttachments().begin();
            to.subAttachment(it->second, UInt16(it->first & 0xFFFFu));
        }
        for (const auto& [key, att] : static_cast<const AttachmentContainer&>(src).getSFAttachments())
            to.addAttachment(att, UInt16(key & 0xFFFFu));
    }
};

const FieldContainerType& AttachmentContainer::getClassType()
{
    static const FieldContainerType type(
        "AttachmentContainer", typeIdOf(BuiltinTypeId::AttachmentContainer), &FieldContainer::getClassType(),
        nullptr, FieldContainerType::makeFields(std::make_unique<AttachmentsFieldDescription>()));
    return type;
}

const FieldContainerType& AttachmentContainer::getType() const
{
    return getClassType();
}

AttachmentContainer::AttachmentContainer() = default;

AttachmentContainer::~AttachmentContainer()
{
    if (m_attachments)
        for (auto& entry : *m_attachments)
            removeUserFrom(entry.second.getCPtr());
}

void AttachmentContainer::addAttachment(AttachmentRefPtr att, UInt16 binding)
{
    if (!att)
        return;
    if (!m_attachments)
        m_attachments = std::make_unique<AttachmentMap>();
    AttachmentRefPtr& slot = (*m_attachments)[attachmentKey(att->getType().getGroupId(), binding)];
    assignReference(slot, std::move(att));
}

void AttachmentContainer::subAttachment(const AttachmentPtr& att, UInt16 binding)
{
    if (!att || !m_attachments)
        return;
    auto it = m_attachments->find(attachmentKey(att->getType().getGroupId(), binding));
    if (it == m_attachments->end() || it->second != att)
        return;
    // Drop the edge before the slot, so the attachment is not freed while the
    // map still refers to it.
    AttachmentRefPtr keep = std::move(it->second);
    m_attachments->erase(it);
    removeUserFrom(keep.getCPtr());
}

AttachmentPtr AttachmentContainer::findAttachment(UInt32 groupId, UInt16 binding) const
{
    if (!m_attachments)
        return NullFC;
    auto it = m_attachments->find(attachmentKey(groupId, binding));
    return it == m_attachments->end() ? AttachmentPtr() : AttachmentPtr(it->second);
}

const AttachmentMap& AttachmentContainer::getSFAttachments() const
{
    static const AttachmentMap* empty = new AttachmentMap();
    return m_attachments ? *m_attachments : *empty;
}

} // namespace osg
