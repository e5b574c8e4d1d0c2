// Licensed under the MIT licence; see LICENSE.
// Lookups and one-line views of handles for the tests of the
// reference service, the node handles and the status text.
#pragma once

#include "ReferenceNodes.h"
#include "TempFiles.h"

#include "references/ksdReferenceNode.h"
#include "handles/ksTypeConverter.h"
#include "kernel/ksInterfaceFactory.h"
#include "kernel/ksKernelServiceFactory.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceService.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace servicetest {

using namespace referencenodes;

// What a handle tells of one file: path, file state, owner and modification
// time in seconds ("-" for an invalid date).
inline std::string fileLine(const QString& path, int state, const QString& owner, const QDateTime& modified)
{
    const QString time = modified.isValid() ? QString::number(modified.toSecsSinceEpoch()) : QStringLiteral("-");
    return QStringLiteral("%1 %2 %3 %4").arg(path).arg(state).arg(owner, time).toStdString();
}

inline std::string sourceLine(const ksdReferenceNode& node)
{
    return fileLine(node.getSourcePath(), node.getSourceFileState(), node.getSourceOwner(),
                    node.getSourceLastModified());
}

inline std::string smartLine(const ksdReferenceNode& node)
{
    return fileLine(node.getSmartPath(), node.getSmartFileState(), node.getSmartOwner(), node.getSmartLastModified());
}

// The line of a record that has just read `path` from disk.
inline std::string diskLine(const QString& path, int state)
{
    const QFileInfo info(path);
    return fileLine(QDir::toNativeSeparators(path), state, info.owner(),
                    info.exists() ? info.lastModified() : QDateTime());
}

inline ksdReferenceNode handleOf(const osg::NodePtr& node)
{
    return ksdReferenceNode(ksTypeConverter::convertNode(node));
}

inline ksReferenceInterface* referenceInterface()
{
    return ksInterfaceFactory::the().get<ksReferenceInterface>();
}

inline ksReferenceService* service()
{
    return ksKernelServiceFactory::the().get<ksReferenceService>();
}

} // namespace servicetest
