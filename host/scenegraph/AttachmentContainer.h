// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/FieldContainer.h"

#include <boost/container/flat_map.hpp>

#include <memory>

namespace osg {

// Attachments keyed by (group id << 16) | binding. A container carries one
// or two, so a sorted array: a tree node per attachment cost about 60 bytes
// more for each of the hundreds of thousands of attachments a large
// project has.
using AttachmentMap = boost::container::flat_map<UInt32, AttachmentRefPtr>;

// A container that can carry attachments: nodes, cores and materials.
class AttachmentContainer : public FieldContainer {
public:
    enum { AttachmentsFieldId = FieldContainer::NextFieldId, NextFieldId };
    static constexpr BitVector AttachmentsFieldMask = fieldMask(AttachmentsFieldId);

    static const FieldContainerType& getClassType();
    static UInt32 getClassTypeId() { return getClassType().getId(); }
    const FieldContainerType& getType() const override;

    static UInt32 attachmentKey(UInt32 groupId, UInt16 binding) { return (groupId << 16) | binding; }

    // Adds `att` under its type's group and `binding`, replacing what was there.
    void addAttachment(AttachmentRefPtr att, UInt16 binding = 0);
    // Removes `att` when it is the attachment stored under its group and `binding`.
    void subAttachment(const AttachmentPtr& att, UInt16 binding = 0);
    AttachmentPtr findAttachment(UInt32 groupId, UInt16 binding = 0) const;
    const AttachmentMap& getSFAttachments() const;

protected:
    AttachmentContainer();
    ~AttachmentContainer() override;

private:
    friend class AttachmentsFieldDescription;

    std::unique_ptr<AttachmentMap> m_attachments; // made on first use: most nodes carry none
};

} // namespace osg
