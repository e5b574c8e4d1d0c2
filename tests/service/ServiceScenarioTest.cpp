// Licensed under the MIT licence; see LICENSE.
// One reference's life through the service and its handles only: create a
// source reference, load it, make it smart, save it, unload and load it,
// edit and save it, lock it, remove it; undoing and redoing every undo step.
#include "ServiceTestSupport.h"

#include "LogRecorder.h"

#include "fileio/ksFileIOService.h"
#include "scene/ksScenegraph.h"
#include "undo/ksUndoStack.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <functional>

using namespace servicetest;
using Types = ksReferenceTypes;

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(ServiceScenario, SourceToSmartSaveUnloadLoadEditRemoveWithUndoAndRedo)
{
    ksScenegraph::newScene();
    ksUndoStack& undo = ksUndoStack::get(0);
    undo.clear();
    // Stands in for the host's importer: a re-import brings one group.
    ksFileIOService* fileIO = ksKernelServiceFactory::the().get<ksFileIOService>();
    fileIO->setReimportHandler([](const QList<ksdNode>& nodes) {
        for (const ksdNode& node : nodes)
            add(ksTypeConverter::convertNode(node), "Body");
        return nodes;
    });
    ksReferenceService* s = service();
    QSignalSpy created(s, &ksReferenceService::referenceCreated);
    QSignalSpy changed(s, &ksReferenceService::referencesChanged);
    QSignalSpy edited(s, &ksReferenceService::referenceEditStateChagned);

    TempFiles files;
    const QString source = QString::fromStdString(files.write("part.jt", "geometry"));
    const QString smart = QString::fromStdString(files.path("part.zmb"));
    ksdReferenceNode handle;
    osg::NodePtr node;
    // What the handle and the scene show after a step: state, source and
    // smart file lines, scene. File lines are taken when the step has run,
    // so that saved files are on disk.
    using Line = std::function<std::string()>;
    const Line noRecord = [] { return fileLine(QString(), Types::NoReference, QString(), QDateTime()); };
    const Line diskSource = [&] { return diskLine(source, Types::UpToDate); };
    const Line diskSmart = [&] { return diskLine(smart, Types::UpToDate); };
    const Line emptySmart = [] { return fileLine("", Types::UpToDate, "", QDateTime()); };
    const std::string src = "'" + source.toStdString() + "'";
    const std::string both = "['" + smart.toStdString() + "'|" + src + "]";
    struct Shown
    {
        Types::State state;
        Line source, smart;
        std::string scene;
        std::vector<std::string> lines() const { return {std::to_string(state), source(), smart(), scene}; }
    };
    const auto shown = [&] {
        return std::vector<std::string>{std::to_string(handle.getState()), sourceLine(handle), smartLine(handle),
                                        dump(ksScenegraph::getRoot())};
    };
    struct Step
    {
        const char* name;
        std::function<void()> run;
        int undoSteps;
        // referencesChanged when the step runs (saved files and structural
        // changes tell of themselves too), and when it is undone and redone.
        int changes;
        int undoChanges;
        Shown after;
    };
    const Step steps[] = {
        {"create",
         [&] {
             // Project and scene files are refused: no node, signal or undo step.
             LogRecorder log;
             for (const char* refused : {"scene.osb", "scene.zmb"})
                 EXPECT_TRUE(s->createSourceReference(QString::fromStdString(files.path(refused)), ksdNode()).isNull());
             EXPECT_EQ(log.problems(), std::vector<std::string>(2, "Creating source reference failed. Talvik "
                                                                    "project or OSB files are not allowed as a "
                                                                    "source reference."));
             handle = s->createSourceReference(source, ksdNode());
             node = ksTypeConverter::convertNode(handle);
             EXPECT_EQ(ksNodeUtils::getName(node), "part");
         },
         2, 2, 2, {Types::NotLoaded, diskSource, noRecord, "Root(part[-|" + src + "])"}},
        {"load source", [&] { EXPECT_EQ(s->loadSourceReferences({handle}), QList<ksdReferenceNode>{handle}); }, 0, 0, 0,
         {Types::Loaded, diskSource, noRecord, "Root(part[-|" + src + "](Body))"}},
        {"convert", [&] { EXPECT_EQ(s->convertToSmart(handle, false), handle); }, 1, 1, 1,
         {Types::Loaded, diskSource, emptySmart, "Root(part[''|" + src + "](Body))"}},
        // A plain save writes only edited content, so the new smart file is
        // first saved as the file the exporter would choose, next to the
        // source: the record is replaced (two steps) and the file loaded.
        {"save as",
         [&] {
             handle.saveSmartReferenceAs(handle.createSmartPath(Types::NextToSource, QString()), false);
             EXPECT_FALSE(handle.isChanged());
         },
         2, 4, 2, {Types::Loaded, diskSource, diskSmart, "Root(part" + both + "(Body))"}},
        {"unload", [&] { handle.unload(); }, 0, 1, 0, {Types::NotLoaded, diskSource, diskSmart, "Root(part" + both + ")"}},
        {"load",
         [&] {
             handle.load();
             EXPECT_FALSE(handle.isChanged());
             EXPECT_TRUE(handle.getSmartCreationDate().isValid());
         },
         0, 0, 0, {Types::Loaded, diskSource, diskSmart, "Root(part" + both + "(Body))"}},
        // Edits within 100 ms tell of one edit state.
        {"edit",
         [&] {
             edited.clear();
             ksNodeUtils::setName(node->getChild(0), "Hood", true);
             ksNodeUtils::setName(node->getChild(0), "Bonnet", true);
             EXPECT_TRUE(handle.isChanged());
             EXPECT_TRUE(edited.wait(1000));
             QTest::qWait(150);
             EXPECT_EQ(edited.count(), 1);
         },
         0, 0, 0, {Types::Loaded, diskSource, diskSmart, "Root(part" + both + "(Bonnet))"}},
        {"save",
         [&] {
             const QByteArray before = readFile(smart);
             handle.saveSmartReference();
             EXPECT_NE(readFile(smart), before);
             EXPECT_FALSE(handle.isChanged());
         },
         0, 1, 0, {Types::Loaded, diskSource, diskSmart, "Root(part" + both + "(Bonnet))"}},
        // A locked node keeps its state, records and paths, with no undo step.
        {"locked",
         [&] {
             ksNodeUtils::setLock(node, true);
             handle.unload();
             handle.removeSmartReference();
             handle.removeSourceReference();
             handle.setSmartPath("/d/other.zmb");
             handle.setSourcePath("/d/other.stp");
             ksNodeUtils::setLock(node, false);
         },
         0, 0, 0, {Types::Loaded, diskSource, diskSmart, "Root(part" + both + "(Bonnet))"}},
        {"remove", [&] { EXPECT_TRUE(ksdReferenceNode(s->removeReference(handle)).isNull()); }, 0, 1, 0,
         {Types::Undefined, noRecord, noRecord, "Root(part(Bonnet))"}},
    };

    const auto changes = [&] {
        for (const QList<QVariant>& args : changed)
            EXPECT_TRUE(args.at(0).value<QList<ksdReferenceNode>>().isEmpty());
        const int count = changed.count();
        changed.clear();
        return count;
    };
    Shown before{Types::NotLoaded, noRecord, noRecord, "Root"};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const int index = undo.stack().index();
        step.run();
        // The tree service tells of structural changes once per turn.
        QCoreApplication::processEvents();
        EXPECT_EQ(shown(), step.after.lines());
        EXPECT_EQ(changes(), step.changes);
        ASSERT_EQ(undo.stack().index(), index + step.undoSteps);
        if (step.undoSteps > 0) {
            for (int i = 0; i < step.undoSteps; ++i)
                undo.undo();
            QCoreApplication::processEvents();
            EXPECT_EQ(shown(), before.lines());
            EXPECT_EQ(changes(), step.undoChanges);
            for (int i = 0; i < step.undoSteps; ++i)
                undo.redo();
            QCoreApplication::processEvents();
            EXPECT_EQ(shown(), step.after.lines());
            EXPECT_EQ(changes(), step.undoChanges);
        }
        before = step.after;
    }
    EXPECT_EQ(created.count(), 1);
    // The record steps leave the plain node alone; the first one takes it
    // out of the scene.
    while (undo.stack().canUndo())
        undo.undo();
    EXPECT_EQ(dump(node), "part(Bonnet)");
    EXPECT_EQ(node->getParent(), osg::NullFC);
    // The suffix test that refuses project and scene files is case-sensitive.
    EXPECT_FALSE(s->createSourceReference(QString::fromStdString(files.path("scene.OSB")), ksdNode()).isNull());
    fileIO->setReimportHandler({});
    undo.clear();
}

} // namespace
