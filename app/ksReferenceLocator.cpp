// Licensed under the MIT licence; see LICENSE.
#include "ksReferenceLocator.h"

#include "ksReferenceResolver.h"

#include "handles/ksTypeConverter.h"
#include "kernel/ksInterfaceFactory.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceService.h"
#include "references/ksdReferenceNode.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FileReference.h"

#include <QDir>
#include <QFileInfo>

using namespace osg;

namespace {

bool isInside(const QString& path, const QString& folder)
{
    return QDir::cleanPath(path).startsWith(folder);
}

} // namespace

ksReferenceLocator::ksReferenceLocator(const QString& projectPath, const QStringList& resolvedSmart,
                                       const QMap<QString, QString>& loadFailures)
    : m_project(projectPath), m_folder(QFileInfo(projectPath).absolutePath() + '/'), m_failures(loadFailures)
{
    const QStringList folders = searchFolders();
    for (const QString& line : resolvedSmart) {
        const QString path = line.section(QStringLiteral(" (previously "), 0, 0);
        bool inSearchFolder = false;
        for (const QString& folder : folders)
            inSearchFolder = inSearchFolder || QFileInfo(path).absolutePath() == QDir(folder).absolutePath();
        // A file beside the project is found by its relative path first.
        m_found[path] = isInside(path, m_folder) || !inSearchFolder ? ksReferenceTable::Found::RelativePath
                                                                   : ksReferenceTable::Found::SearchFolder;
    }
}

QStringList ksReferenceLocator::searchFolders()
{
    return QString::fromLocal8Bit(qgetenv("TALVIK_REFERENCE_SEARCH_PATH")).split(':', Qt::SkipEmptyParts);
}

QStringList ksReferenceLocator::resolveSources()
{
    const QStringList resolved = ksReferenceResolver(searchFolders()).resolveSources(m_project).found;
    // "name: old -> new"; a file beside the project was found by its place
    // there, any other in a search folder.
    for (const QString& line : resolved) {
        const QString found = QDir::cleanPath(line.section(QStringLiteral(" -> "), -1));
        m_found[found] = isInside(found, m_folder) ? ksReferenceTable::Found::RelativePath
                                                   : ksReferenceTable::Found::SearchFolder;
    }
    return resolved;
}

QString ksReferenceLocator::copyInside(const QString& path, const QString& relativePath) const
{
    QStringList candidates;
    if (!relativePath.isEmpty() && QDir::isRelativePath(relativePath))
        candidates << m_folder + relativePath;
    // Without a relative path: the file at the same place below any of the
    // saved path's folders ("cad/frame.obj", "car/cad/frame.obj", ...).
    const QStringList parts = QDir::cleanPath(path).split('/', Qt::SkipEmptyParts);
    for (int n = 1; n < parts.size(); ++n)
        candidates << m_folder + parts.mid(parts.size() - n).join('/');
    for (const QString& candidate : candidates)
        if (isInside(candidate, m_folder) && QFileInfo(candidate).isFile())
            return QDir::cleanPath(candidate);
    return QString();
}

void ksReferenceLocator::annotate(ksReferenceTable& table) const
{
    ksReferenceInterface* references = ksInterfaceFactory::the().get<ksReferenceInterface>();
    for (ksReferenceTable::Row& row : table.rows()) {
        const ExtReferencePtr core = references ? references->getExtReference(row.node) : ExtReferencePtr();
        const FileReferencePtr records[] = {core ? core->getSmartFile() : FileReferencePtr(),
                                            core ? core->getSourceFile() : FileReferencePtr()};
        ksReferenceTable::File* files[] = {&row.smart, &row.source};
        for (int i = 0; i < 2; ++i) {
            ksReferenceTable::File& file = *files[i];
            if (file.path.isEmpty())
                continue;
            const QString path = QDir::cleanPath(file.path);
            if (m_found.contains(path))
                file.found = m_found.value(path);
            else
                file.found = QFileInfo(path).isFile() ? ksReferenceTable::Found::SavedPath
                                                      : ksReferenceTable::Found::NotFound;
            const QString relative = records[i] ? QString::fromStdString(records[i]->getRelativePath()) : QString();
            file.outsideProject = !isInside(path, m_folder) && !copyInside(path, relative).isEmpty();
            // A smart file that did not load shows nothing: not loaded.
            if (i == 0 && m_failures.contains(path) && QFileInfo(path).isFile()) {
                file.unreadableReason = m_failures.value(path);
                row.loaded = false;
            }
        }
    }
}

void ksReferenceLocator::findNewerRevisions(ksReferenceTable& table, ksReferenceService* service,
                                            const QStringList& expressions)
{
    if (expressions.isEmpty() || !service)
        return;
    service->setRevisionExpressions(expressions);
    service->setRevisionCheckEnabled(true);
    for (ksReferenceTable::Row& row : table.rows()) {
        ksdReferenceNode handle(ksTypeConverter::convertNode(row.node));
        const struct {
            ksReferenceTable::File& file;
            QStringList revisions;
            QString current;
            bool smart;
        } files[] = {{row.smart, handle.getSmartRevisions(), handle.getSmartRevision(), true},
                     {row.source, handle.getSourceRevisions(), handle.getSourceRevision(), false}};
        for (const auto& f : files) {
            if (f.current.isEmpty() || f.revisions.isEmpty())
                continue;
            const QString newest = service->sortRevisions(f.revisions).last();
            if (newest != f.current)
                f.file.newerRevision = f.smart ? handle.getSmartRevisionPath(newest) : handle.getSourceRevisionPath(newest);
        }
    }
}
