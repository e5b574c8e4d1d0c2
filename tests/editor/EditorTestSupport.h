// Licensed under the MIT licence; see LICENSE.
// Scenes for the editor's tests, built through the host's import and the
// reference service as a user's actions would build them.
#pragma once

#include "ksObjWriter.h"

#include "handles/ksTypeConverter.h"
#include "import/ksSceneImporter.h"
#include "kernel/ksKernelServiceFactory.h"
#include "nodeutils/ksNodeUtils.h"
#include "notification/NotificationManager.h"
#include "references/ksReferenceService.h"
#include "references/ksdReferenceNode.h"
#include "scene/ksFileIO.h"
#include "scenegraph/Node.h"
#include "undo/ksUndoStack.h"

#include <QAbstractItemModel>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace editortest {

inline ksReferenceService* service()
{
    return ksKernelServiceFactory::the().get<ksReferenceService>();
}

// An empty scene, undo history and notification list, and the settings a
// fresh program starts with (monitoring on, no notifications).
inline void freshScene()
{
    ksFileIO::newScene();
    ksUndoStack::get(0).clear();
    ksa::notification::NotificationManager::getInstance()->removeAll();
    service()->setNotificationMode(ksReferenceTypes::NoNotification);
    service()->setRevisionCheckEnabled(false);
    service()->setUpdateMonitoringInterval(200);
    QCoreApplication::processEvents();
}

// A box mesh as an OBJ file; its absolute path.
inline QString writeMesh(const QString& path, float size = 1.0f)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    ksObjWriter writer;
    writer.addBox(size, size, size);
    writer.write(path);
    return QFileInfo(path).absoluteFilePath();
}

// New content with a later time (file times are whole seconds).
inline void changeFile(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::Append);
    file.write("v 7 7 7\n");
    file.flush();
    file.setFileTime(QDateTime::currentDateTime().addSecs(30), QFileDevice::FileModificationTime);
}

// Imports `path` as a source reference below `parent` (the root when null).
inline ksdReferenceNode importSource(const QString& path, const ksdNode& parent = ksdNode())
{
    const auto added = ksSceneImporter::importFiles({path}, ksTypeConverter::convertNode(parent));
    return added.empty() ? ksdReferenceNode() : ksdReferenceNode(ksTypeConverter::convertNode(added.front().get()));
}

// The first row (column 0) whose reference has this name, searched through the tree.
inline QModelIndex rowOf(const QAbstractItemModel* model, const QString& name)
{
    const QModelIndexList found = model->match(model->index(0, 0), Qt::DisplayRole, name, 1,
                                               Qt::MatchExactly | Qt::MatchRecursive);
    return found.value(0);
}

inline QString cell(const QAbstractItemModel* model, const QString& name, int column)
{
    const QModelIndex row = rowOf(model, name);
    return row.isValid() ? row.sibling(row.row(), column).data().toString() : QStringLiteral("<no row>");
}

// The names of the rows, nested ones indented by two spaces per level.
inline QStringList tree(const QAbstractItemModel* model, const QModelIndex& parent = QModelIndex(), int depth = 0)
{
    QStringList lines;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        lines << QString(depth * 2, ' ') + index.data().toString();
        lines << tree(model, index, depth + 1);
    }
    return lines;
}

} // namespace editortest
