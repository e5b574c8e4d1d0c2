// Licensed under the MIT licence; see LICENSE.
#include "model/ksReferenceNode.h"

#include "kernel/ksInterfaceFactory.h"
#include "model/ksFileTime.h"
#include "model/ksReferencePool.h"
#include "model/ksReferenceSettings.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceInterface.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/CPEditor.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"
#include "utils/ksFile.h"
#include "utils/ksLog.h"


using namespace osg;

ksReferenceNode::ksReferenceNode(const NodePtr& node)
{
    ksReferenceInterface* reference = getReferenceInterface();
    m_core = reference ? reference->getExtReference(node) : ExtReferencePtr();
    if (m_core)
        m_node = node;
}

ksReferenceInterface* ksReferenceNode::getReferenceInterface()
{
    // The interface object is a static object of this library, so it exists
    // before any node object is built and outlives them all.
    static ksReferenceInterface* const reference = ksInterfaceFactory::the().get<ksReferenceInterface>();
    return reference;
}

bool ksReferenceNode::isValid() const
{
    return bool(m_node);
}

bool ksReferenceNode::isRootNode() const
{
    return m_node && m_node == ksScenegraph::getRoot();
}

std::string ksReferenceNode::getName() const
{
    return m_node ? ksNodeUtils::getName(m_node.get()) : std::string();
}

bool ksReferenceNode::isChanged() const
{
    return m_core && ksReferencePool::instance().isChanged(m_core.get());
}

ksReferenceTypes::State ksReferenceNode::getState() const
{
    return m_core ? ksReferenceTypes::State(m_core->getState()) : ksReferenceTypes::Undefined;
}

void ksReferenceNode::setState(ksReferenceTypes::State state)
{
    if (!m_core)
        return;
    CPEditor edit(m_core.get(), ExtReference::StateFieldMask);
    m_core->setState(state);
}

std::string ksReferenceNode::getSmartPath() const
{
    if (!m_core || !m_core->getSmartFile())
        return std::string();
    return m_core->getSmartFile()->getPath();
}

void ksReferenceNode::updateFileState(const FileReferencePtr& ref)
{
    if (!ref)
        return;
    const std::string& path = ref->getPath();
    std::uint64_t modified = 0;
    if (!ksStatFile(path.c_str(), modified)) {
        // The checksum stays: it still describes the content the record was
        // taken from, should the file come back.
        {
            CPEditor edit(ref, FileReference::StateFieldMask);
            ref->setState(path.empty() ? ksReferenceTypes::NoPath : ksReferenceTypes::Missing);
            ref->setLastModified(0);
        }
        return;
    }

    CPEditor edit(ref);
    // LastModified is left alone here: a touched but unchanged file stays up
    // to date, and only updateFileInfo takes the new time.
    if (modified == ref->getLastModified()) {
        ref->setState(ksReferenceTypes::UpToDate);
    } else {
        const UInt32 sum = ksFile::getChecksum(ref->getPath(), 0);
        if (ref->getChecksum() == 0) {
            ref->setChecksum(sum);
            ref->setState(ksReferenceTypes::UpToDate);
        } else {
            ref->setState(ref->getChecksum() == sum ? ksReferenceTypes::UpToDate : ksReferenceTypes::Outdated);
        }
    }
}

void ksReferenceNode::updateFileInfo(const FileReferencePtr& ref)
{
    if (!ref)
        return;
    // One stat for existence, time and owner: a project load takes the
    // records of every smart reference, twice each.
    std::uint64_t time = 0;
    struct stat info;
    if (!ksStatFile(ref->getPath().c_str(), time, info) || !S_ISREG(info.st_mode)) {
        updateFileState(ref);
        return;
    }
    const UInt32 sum = ksFile::getChecksum(ref->getPath(), 0);
    CPEditor edit(ref);
    ref->setChecksum(sum);
    ref->setLastModified(time);
    ref->setOwner(ksFile::getOwnerName(info.st_uid));
    // Taken from the file as it is now: up to date by definition.
    ref->setState(ksReferenceTypes::UpToDate);
}

void ksReferenceNode::updateFileStates()
{
    if (!m_core)
        return;
    updateFileState(m_core->getSourceFile());
    updateFileState(m_core->getSmartFile());
}

void ksReferenceNode::updateSourceFileState()
{
    if (m_core)
        updateFileState(m_core->getSourceFile());
}

void ksReferenceNode::updateFileInfos()
{
    if (!m_core)
        return;
    updateFileInfo(m_core->getSmartFile());
    updateFileInfo(m_core->getSourceFile());
}

void ksReferenceNode::updateSmartFileInfo()
{
    if (m_core)
        updateFileInfo(m_core->getSmartFile());
}

void ksReferenceNode::updateSourceFileInfo()
{
    if (m_core)
        updateFileInfo(m_core->getSourceFile());
}

void ksReferenceNode::log(const QString& message, LogLevel level)
{
    const QByteArray text = QString("[REFERENCE] %1").arg(message).toUtf8();
    const int threshold = ksReferenceSettings::the().getLogLevel();
    switch (level) {
    case LogInfo:
        if (threshold >= ksReferenceSettings::LogInfo)
            ksLog::info("%s", text.constData());
        break;
    case LogWarning:
        if (threshold >= ksReferenceSettings::LogWarnings)
            ksLog::warning("%s", text.constData());
        break;
    case LogError:
        if (threshold >= ksReferenceSettings::LogErrors)
            ksLog::error("%s", text.constData());
        break;
    case LogDetail:
        if (threshold >= ksReferenceSettings::LogEverything)
            ksLog::info("%s", text.constData());
        break;
    }
}
