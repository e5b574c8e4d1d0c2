// Licensed under the MIT licence; see LICENSE.
#include "ksGroupCommand.h"

#include "ksCommandLine.h"
#include "ksCommandSession.h"
#include "ksTalvikHost.h"

#include "handles/ksTypeConverter.h"
#include "import/ksSceneImporter.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceService.h"
#include "references/ksdReferenceNode.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/Node.h"
#include "scenegraph/Transform3D.h"
#include "undo/ksAddChildrenCommand.h"
#include "undo/ksMoveNodesCommand.h"
#include "undo/ksMultiCommand.h"
#include "undo/ksNodeMovements.h"
#include "undo/ksUndoStack.h"
#include "undo/ksUndoString.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>


using namespace osg;

int ksGroupCommand::run(const ksCommandLine& line, ksTalvikHost& host)
{
    ksCommandSession session(line, host);
    const QString name = line.value("as");
    if (line.positional().size() < 2 || name.isEmpty())
        return session.fail(ksCommandLine::UsageError, QStringLiteral("group needs a project file, REF... and --as NAME"));
    if (name.contains('/') || name.contains('#'))
        return session.fail(ksCommandLine::UsageError, QStringLiteral("'%1': a name holds no '/' or '#'").arg(name));
    const bool smart = line.has("smart");
    const QString smartPath = QDir(QFileInfo(line.positional().first()).absolutePath()).filePath(name + ".zmb");
    // A new smart file never replaces a file that is already there.
    if (smart && QFileInfo::exists(smartPath))
        return session.fail(ksCommandLine::UsageError, QStringLiteral("%1: already exists; choose another name").arg(smartPath));
    QVector<ksReferenceTable::Row> rows;
    if (!session.openWithReferences(rows))
        return session.exitCode();
    const NodePtr parent = rows.first().node->getParent();
    for (const ksReferenceTable::Row& row : rows)
        if (row.node->getParent() != parent)
            return session.fail(ksCommandLine::UsageError, QStringLiteral("%1 and %2 are in different assemblies; group references of one")
                                                               .arg(rows.first().treePath, row.treePath));

    // One undo step: the new assembly goes in, the references move under it.
    NodeRefPtr group = Node::create();
    beginEditCP(group, Node::CoreFieldMask);
    group->setCore(Transform3D::create());
    endEditCP(group, Node::CoreFieldMask);
    ksNodeUtils::setName(group.get(), name.toStdString());
    auto* step = new ksMultiCommand(ksUndoString("Group References", "talvik"));
    new ksAddChildrenCommand(parent, group.get(), step);
    ksNodeMovements movements;
    for (const ksReferenceTable::Row& row : rows)
        movements.add(row.node, group.get());
    new ksMoveNodesCommand(movements, step);
    step->setChangedCallback([] { ksScenegraph::update(false); });
    ksUndoStack::get(0).addOrExecute(step);
    if (smart) {
        // The operation that turns an assembly into a smart reference in
        // place; its file is named here so that it lies beside the project.
        host.service()->convertToSmart(ksTypeConverter::convertNode(group.get()), false);
        ksdReferenceNode(ksTypeConverter::convertNode(group.get())).setSmartPath(smartPath);
    }

    QStringList members;
    for (const ksReferenceTable::Row& row : rows)
        members << row.name;
    const quint64 vertices = ksSceneImporter::countVertices(group.get());
    QJsonObject json;
    json["group"] = name;
    json["smart"] = smart ? QJsonValue(smartPath) : QJsonValue::Null;
    json["members"] = QJsonArray::fromStringList(members);
    json["vertices"] = double(vertices);
    return session.finish(json,
                          {QStringLiteral("grouped %1 as %2%3 (%4 vertices)")
                               .arg(members.join(", "), name, smart ? QStringLiteral(", a smart reference") : QString())
                               .arg(vertices)},
                          true);
}
