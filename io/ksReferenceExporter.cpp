// Licensed under the MIT licence; see LICENSE.
#include "io/ksReferenceExporter.h"

#include "model/ksContainerIdMap.h"
#include "model/ksReferenceNode.h"
#include "model/ksReferencePool.h"
#include "nodeutils/ksNodeUtils.h"
#include "scenegraph/CPEditor.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"
#include "scenegraph/Traversal.h"
#include "utils/ksFile.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <deque>
#include <functional>
#include <string_view>
#include <vector>

using namespace osg;

namespace {

// The smart paths hasCyclicPaths has seen, by their UTF-8 bytes with unix
// separators. One open-addressing table of hashes and views into the
// records' own strings: no allocation per path (a path with backslashes is
// the exception and keeps a normalised copy), so thousands of references
// cost a few arrays instead of a node and a UTF-16 copy each.
class SeenPaths
{
public:
    SeenPaths() { m_slots.resize(4096); }

    // False when an equal path was inserted before.
    bool insert(std::string_view path)
    {
        if (path.find('\\') != std::string_view::npos)
            path = m_copies.emplace_back(ksFile::convertToUnixSeparators(std::string(path)));
        const std::size_t hash = std::hash<std::string_view>()(path) | 1; // 0 marks a free slot
        for (std::size_t i = hash & (m_slots.size() - 1);; i = (i + 1) & (m_slots.size() - 1)) {
            Slot& slot = m_slots[i];
            if (slot.hash == 0) {
                slot = {hash, path};
                if (++m_count * 2 > m_slots.size())
                    grow();
                return true;
            }
            if (slot.hash == hash && slot.path == path)
                return false;
        }
    }

private:
    struct Slot {
        std::size_t hash = 0;
        std::string_view path;
    };

    // Fourfold: each growth touches fresh memory, which costs more than the
    // rehash itself once the table leaves the cache.
    void grow()
    {
        std::vector<Slot> old(m_slots.size() * 4);
        old.swap(m_slots);
        for (const Slot& slot : old) {
            if (slot.hash == 0)
                continue;
            std::size_t i = slot.hash & (m_slots.size() - 1);
            while (m_slots[i].hash != 0)
                i = (i + 1) & (m_slots.size() - 1);
            m_slots[i] = slot;
        }
    }

    std::vector<Slot> m_slots;
    std::size_t m_count = 0;
    std::deque<std::string> m_copies;
};

QString toUnix(const std::string& path)
{
    return QString::fromUtf8(ksFile::convertToUnixSeparators(path).c_str());
}

} // namespace

ksReferenceExporter::ksReferenceExporter(const NodePtr& root, const Options& options)
    : m_options(options)
    , m_root(root)
{
}

ksReferenceExporter::~ksReferenceExporter() = default;

bool ksReferenceExporter::hasCyclicPaths() const
{
    SeenPaths seenPaths;
    if (!m_options.projectPath.empty())
        seenPaths.insert(m_options.projectPath);
    // Flat sets by container id: no allocation per reference, and a scene of
    // thousands of references keeps its bookkeeping in a few arrays.
    ksContainerIdMap<bool> seenCores;

    // True when the core's smart file is already taken by another core or
    // is the project file itself.
    const auto check = [&seenPaths](const ExtReferencePtr& core) {
        const FileReferencePtr smart = core->getSmartFile();
        if (!smart || core->getState() == ksReferenceTypes::NotLoaded)
            return false;
        const std::string& path = smart->getPath();
        return !path.empty() && !seenPaths.insert(path);
    };

    // A file of an enclosing reference that appears again below would make
    // that file contain itself.
    if (m_root) {
        for (NodePtr n = m_root.get()->getParent(); n; n = n->getParent()) {
            const ExtReferencePtr core = ExtReferencePtr::dcast(n->getCore());
            if (!core)
                continue;
            if (!seenCores.contains(core.getFieldContainerId()) && check(core))
                return true;
            seenCores[core.getFieldContainerId()] = true;
        }
    }

    bool cyclic = false;
    traverse(m_root.get(), [&](const NodePtr& n) {
        const ExtReferencePtr core = ExtReferencePtr::dcast(n->getCore());
        if (!core)
            return Action::Continue;
        if (seenCores.contains(core.getFieldContainerId()))
            return Action::Skip;
        if (check(core)) {
            cyclic = true;
            return Action::Quit;
        }
        seenCores[core.getFieldContainerId()] = true;
        return Action::Continue;
    });
    return cyclic;
}

void ksReferenceExporter::run()
{
    if (!m_root)
        return;

    // Parents before children; a smart file shared by clones is collected
    // once, at its first node, and what lies below that node is its content.
    std::vector<NodeRefPtr> collected;
    ksContainerIdMap<bool> seenFiles;
    traverse(m_root.get(), [&](const NodePtr& n) {
        const ExtReferencePtr core = ExtReferencePtr::dcast(n->getCore());
        if (!core || !core->getSmartFile())
            return Action::Continue;
        const UInt32 id = core->getSmartFile().getFieldContainerId();
        if (seenFiles.contains(id))
            return Action::Skip;
        seenFiles[id] = true;
        collected.emplace_back(n);
        return Action::Continue;
    });

    // At most one new path per collected reference: the tables grow once
    // instead of rehashing every path again at each doubling.
    m_createdPaths.reserve(m_createdPaths.size() + int(collected.size()));
    m_createdPathSet.reserve(m_createdPathSet.size() + int(collected.size()));
    for (const NodeRefPtr& node : collected) {
        ksReferenceNode reference(node.get());
        const ExtReferencePtr core = reference.getExtReference();
        if (!core || core->getState() == ksReferenceTypes::NotLoaded)
            continue;
        const FileReferencePtr smart = core->getSmartFile();
        if (!smart)
            continue;
        if (smart->getPath().empty()) {
            const QByteArray path = createFilePath(&reference).toUtf8();
            CPEditor edit(smart, FileReference::PathFieldMask);
            smart->setPath(std::string(path.constData(), size_t(path.size())));
        }
        ksReferenceNode::updateRelativePath(smart);
    }

    // Innermost first: a file is written after every file it refers to.
    // Unloaded references and smart files that are gone are not written by
    // rule; any other reference that did not save is a failure.
    m_failedSaves = 0;
    for (auto it = collected.rbegin(); it != collected.rend(); ++it) {
        ksReferenceNode reference(it->get());
        const ExtReferencePtr core = reference.getExtReference();
        const bool skipped = !core || core->getState() == ksReferenceTypes::NotLoaded || !core->getSmartFile()
                             || core->getSmartFile()->getState() == ksReferenceTypes::Missing;
        if (!reference.save() && !skipped)
            ++m_failedSaves;
    }
}

QString ksReferenceExporter::createFilePath(ksReferenceNode* node)
{
    if (!node || !node->isValid())
        return QString();

    QString path;
    const FileReferencePtr source = node->getExtReference()->getSourceFile();
    if (source && !source->getPath().empty()) {
        // Only the directory is normalised (Windows separators become '/');
        // the base name is taken as the path gives it.
        const QFileInfo info(QString::fromUtf8(source->getPath().c_str()));
        const QString directory = m_options.exportLocation != ksReferenceTypes::NextToSource
                                      ? QString::fromUtf8(m_options.customExportPath.c_str())
                                      : info.path();
        path = ksReferenceNode::normalizeDirectory(directory) + info.completeBaseName() + QStringLiteral(".zmb");
    } else {
        if (m_options.exportLocation == ksReferenceTypes::CustomDirectory)
            path = ksReferenceNode::normalizeDirectory(QString::fromUtf8(m_options.customExportPath.c_str()));
        QString name = QString::fromUtf8(ksNodeUtils::getName(node->getNode()).c_str());
        if (name.isEmpty())
            name = QCoreApplication::translate("References", "SmartReference");
        path += name + QStringLiteral(".zmb");
    }

    const QString project = QString::fromUtf8(m_options.projectPath.c_str());
    path = ksReferenceNode::makeAbsolutePath(path, project);
    // Nothing to number when no directory could be found: the save reports
    // the empty path.
    if (path.isEmpty())
        return path;

    // The number goes before the suffix of the file name: Wheel.zmb, then
    // Wheel_2.zmb, Wheel_3.zmb.
    const QString fileName = QFileInfo(path).fileName();
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    const int insertAt = dot < 0 ? path.size() : path.size() - (fileName.size() - dot);
    // A new file must not overwrite anything: neither a path handed out in
    // this save, nor the project, nor a file of another reference, nor any
    // file on disk.
    const auto taken = [&](const QString& candidate) {
        return m_createdPathSet.contains(candidate) || (!project.isEmpty() && candidate == project)
               || pooledPaths().contains(QString(candidate).replace(QLatin1Char('\\'), QLatin1Char('/')))
               || QFileInfo::exists(candidate);
    };
    int counter = m_lastNumber.value(path, 1);
    QString candidate = path;
    if (counter > 1)
        candidate.insert(insertAt, QLatin1Char('_') + QString::number(counter));
    while (taken(candidate)) {
        ++counter;
        candidate = path;
        candidate.insert(insertAt, QLatin1Char('_') + QString::number(counter));
    }
    if (counter > 1)
        m_lastNumber.insert(path, counter);
    m_createdPaths.append(candidate);
    m_createdPathSet.insert(candidate);
    return candidate;
}

const QSet<QString>& ksReferenceExporter::pooledPaths()
{
    if (m_pooledPaths)
        return *m_pooledPaths;
    m_pooledPaths.emplace();
    for (const ExtReferencePtr& core : ksReferencePool::instance().getExtReferences()) {
        for (const FileReferencePtr& record : {core->getSmartFile(), core->getSourceFile()}) {
            if (record && !record->getPath().empty())
                m_pooledPaths->insert(toUnix(record->getPath()));
        }
    }
    return *m_pooledPaths;
}
