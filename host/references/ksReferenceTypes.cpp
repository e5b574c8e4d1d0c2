// Licensed under the MIT licence; see LICENSE.
#include "references/ksReferenceTypes.h"

#include <QDataStream>

namespace {

template <class Enum>
void registerEnum(const char* name)
{
    qRegisterMetaType<Enum>(name);
    qRegisterMetaTypeStreamOperators<Enum>(name);
}

// Registered at load, so that signals with these types can be spied on and
// queued before anyone asked for the types.
[[maybe_unused]] const bool g_registered = (ksReferenceTypes::registerMetaTypes(), true);

} // namespace

void ksReferenceTypes::registerMetaTypes()
{
    registerEnum<FileState>("ksReferenceTypes::FileState");
    registerEnum<State>("ksReferenceTypes::State");
    registerEnum<Type>("ksReferenceTypes::Type");
    registerEnum<ExportLocation>("ksReferenceTypes::ExportLocation");
    registerEnum<NotificationMode>("ksReferenceTypes::NotificationMode");
    registerEnum<LoadMode>("ksReferenceTypes::LoadMode");
}
