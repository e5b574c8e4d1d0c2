// Licensed under the MIT licence; see LICENSE.
#include "references/ksReferenceTypes.h"

#include <QByteArray>
#include <QDataStream>
#include <QMetaEnum>
#include <QVariant>

#include <gtest/gtest.h>

#include <type_traits>

namespace {

static_assert(std::is_same<std::underlying_type<ksReferenceTypes::FileState>::type, quint32>::value, "");
static_assert(std::is_same<std::underlying_type<ksReferenceTypes::ExportLocation>::type, quint32>::value, "");

struct EnumCase
{
    const char* typeName;
    const char* key;
    int value;
};

// Values are stored in scene files and must never move.
TEST(ReferenceTypes, ValuesAndMetaTypeNamesAreFixed)
{
    const EnumCase cases[] = {
        {"ksReferenceTypes::FileState", "UpToDate", 0},
        {"ksReferenceTypes::FileState", "Outdated", 1},
        {"ksReferenceTypes::FileState", "Missing", 2},
        {"ksReferenceTypes::FileState", "NoPath", 3},
        {"ksReferenceTypes::FileState", "NoReference", 4},
        {"ksReferenceTypes::State", "Undefined", 0},
        {"ksReferenceTypes::State", "NotLoaded", 1},
        {"ksReferenceTypes::State", "Loaded", 2},
        {"ksReferenceTypes::Type", "Smart", 0},
        {"ksReferenceTypes::Type", "Source", 1},
        {"ksReferenceTypes::ExportLocation", "NextToSource", 0},
        {"ksReferenceTypes::ExportLocation", "CustomDirectory", 1},
        {"ksReferenceTypes::NotificationMode", "NoNotification", 0},
        {"ksReferenceTypes::NotificationMode", "NotifyAfterUpdateCheck", 1},
        {"ksReferenceTypes::LoadMode", "DefaultLoadMode", 0},
    };
    for (const EnumCase& c : cases) {
        SCOPED_TRACE(c.key);
        const int type = QMetaType::type(c.typeName);
        ASSERT_NE(type, QMetaType::UnknownType);
        const QMetaObject* meta = QMetaType::metaObjectForType(type);
        ASSERT_NE(meta, nullptr);
        const QByteArray enumName = QByteArray(c.typeName).mid(QByteArray("ksReferenceTypes::").size());
        const QMetaEnum metaEnum = meta->enumerator(meta->indexOfEnumerator(enumName.constData()));
        ASSERT_TRUE(metaEnum.isValid());
        EXPECT_EQ(metaEnum.keyToValue(c.key), c.value);
    }
}

TEST(ReferenceTypes, TravelThroughVariantsAndStreams)
{
    const QVariant variant = QVariant::fromValue(ksReferenceTypes::CustomDirectory);
    EXPECT_EQ(variant.userType(), QMetaType::type("ksReferenceTypes::ExportLocation"));
    EXPECT_EQ(variant.value<ksReferenceTypes::ExportLocation>(), ksReferenceTypes::CustomDirectory);

    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << variant;
    }
    QDataStream in(bytes);
    QVariant read;
    in >> read;
    EXPECT_EQ(read.value<ksReferenceTypes::ExportLocation>(), ksReferenceTypes::CustomDirectory);
}

} // namespace
