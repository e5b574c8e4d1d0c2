// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/SceneGraph.h"

#include <gtest/gtest.h>

using namespace osg;

namespace {

TEST(TypesAndFields, EveryTypeDescribesItsFieldsConsistently)
{
    // The masks edits publish are the ones the descriptions (and so the
    // file reader) use.
    EXPECT_EQ(ExtReference::getClassType().findFieldDescription("SmartFile")->getFieldMask(),
              ExtReference::SmartFileFieldMask);
    EXPECT_EQ(ExtReference::getClassType().findFieldDescription("SmartFile")->getTargetType(),
              &FileReference::getClassType());
    EXPECT_EQ(FileReference::getClassType().findFieldDescription("Checksum")->getFieldMask(),
              FileReference::ChecksumFieldMask);
    EXPECT_EQ(Node::getClassType().findFieldDescription("Children")->getKind(), FieldKind::Children);
    EXPECT_EQ(Node::getClassType().findFieldDescription("Attachments")->getKind(), FieldKind::ReferenceList);
    for (const FieldContainerType* type : FieldContainerFactory::the()->getTypes()) {
        BitVector seen = 0;
        const auto& fields = type->getFieldDescriptions();
        for (UInt32 i = 0; i < fields.size(); ++i) {
            const FieldDescription* f = fields[i];
            EXPECT_EQ(f->getFieldId(), i) << type->getName() << "." << f->getName();
            EXPECT_EQ(f->getFieldMask(), BitVector(1) << i);
            EXPECT_EQ(seen & f->getFieldMask(), 0u);
            seen |= f->getFieldMask();
            EXPECT_EQ(type->findFieldDescription(f->getName()), f);
            if (f->isReference()) {
                EXPECT_NE(f->getTargetType(), nullptr) << type->getName() << "." << f->getName();
            }
        }
        EXPECT_EQ(type->getFieldsMask(), seen);
        EXPECT_EQ(type->isAbstract(), !FieldContainerRefPtr(type->createContainer())) << type->getName();
        if (type->getParent()) {
            EXPECT_GE(fields.size(), type->getParent()->getFieldDescriptions().size());
        }
    }
}

TEST(TypesAndFields, SyncWithCopiesTheSelectedTransformFields)
{
    Transform3DRefPtr from = Transform3D::create();
    from->setTranslation({1, 2, 3});
    from->setRotation({0, 90, 0});
    from->setScale({2, 2, 2});
    ExtReferenceRefPtr to = ExtReference::create();
    to->setState(7);

    to->syncWith(from, Transform3D::getCombinedTransformAttributesMask());
    EXPECT_EQ(to->getTranslation(), from->getTranslation());
    EXPECT_EQ(to->getRotation(), from->getRotation());
    EXPECT_EQ(to->getScale(), from->getScale());
    EXPECT_EQ(to->getMatrix(), from->getMatrix());
    EXPECT_EQ(to->getState(), 7u) << "fields outside the transform stay";

    // Only the translation: the matrix follows the parts it now has.
    Transform3DRefPtr moved = Transform3D::create();
    moved->setTranslation({5, 0, 0});
    to->syncWith(moved, Transform3D::TranslationFieldMask);
    EXPECT_EQ(to->getTranslation(), Vec3f(5, 0, 0));
    EXPECT_EQ(to->getScale(), Vec3f(2, 2, 2));
    const Vec3f p = to->getMatrix().transformPoint({0, 0, 0});
    EXPECT_FLOAT_EQ(p.x(), 5);
    const Vec3f q = to->getMatrix().transformPoint({1, 0, 0});
    EXPECT_NEAR(q.z(), -2, 1e-5) << "rotation and scale are kept";
}

TEST(TypesAndFields, NamesAndAttachmentsAreKeyedByGroupAndBinding)
{
    NodeRefPtr node = Node::create();
    EXPECT_EQ(getName(node), "");
    setName(node, "Wheel");
    const AttachmentPtr name = node->findAttachment(Name::getClassType().getGroupId());
    ASSERT_TRUE(name);
    setName(node, "Tyre");
    EXPECT_EQ(node->findAttachment(Name::getClassType().getGroupId()), name) << "renaming reuses the attachment";
    EXPECT_EQ(getName(node), "Tyre");
    EXPECT_EQ(getName(NullFC), "");

    FileInfoRefPtr info = FileInfo::create();
    FileInfoRefPtr other = FileInfo::create();
    node->addAttachment(info);
    node->addAttachment(other, 3);
    const UInt32 group = FileInfo::getClassType().getGroupId();
    EXPECT_EQ(node->findAttachment(group), info);
    EXPECT_EQ(node->findAttachment(group, 3), other);
    EXPECT_EQ(node->getSFAttachments().size(), 3u) << "a name and two file infos";

    node->subAttachment(other, 0);
    EXPECT_EQ(node->findAttachment(group, 3), other) << "removal needs the binding it was added under";
    node->subAttachment(other, 3);
    EXPECT_EQ(node->findAttachment(group, 3), NullFC);

    FileInfoRefPtr replacement = FileInfo::create();
    node->addAttachment(replacement);
    EXPECT_EQ(node->findAttachment(group), replacement);
    EXPECT_TRUE(info->getUsers().empty()) << "the replaced attachment lost its holder";
    EXPECT_EQ(info->getRefCount(), 1);
    EXPECT_EQ(getName(node), "Tyre");
}

} // namespace
