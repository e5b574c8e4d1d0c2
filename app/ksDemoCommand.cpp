// Licensed under the MIT licence; see LICENSE.
#include "ksDemoCommand.h"

#include "ksCommandLine.h"
#include "ksObjWriter.h"
#include "ksProgressBar.h"
#include "ksProjectFile.h"
#include "ksReferenceResolver.h"
#include "ksReferenceTable.h"
#include "ksTalvikHost.h"

#include "handles/ksTypeConverter.h"
#include "import/ksSceneImporter.h"
#include "nodeutils/ksNodeUtils.h"
#include "notification/NotificationManager.h"
#include "notification/TextNotification.h"
#include "references/ksReferenceService.h"
#include "references/ksdReferenceNode.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/Node.h"
#include "scenegraph/Transform3D.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <map>
#include <string>

#include <unistd.h>

using namespace osg;

namespace {

constexpr int stepCount = 9;
constexpr int monitorInterval = 200;
// How long a step waits for the update monitor to report; far more than
// the interval, so that a busy machine does not cut a step short.
constexpr int changeTimeout = 10000;

class Demo
{
public:
    Demo(ksTalvikHost& host, const QString& folder)
        : m_host(host), m_folder(folder), m_colour(ksReferenceTable::useColour(stdout))
    {
    }

    int run();

private:
    void step(const QString& text)
    {
        std::printf("\n[%d/%d] %s\n", ++m_step, stepCount, qPrintable(text));
        std::fflush(stdout);
    }
    void note(const QString& text)
    {
        std::printf("  %s\n", qPrintable(text));
        std::fflush(stdout);
    }
    void table()
    {
        ksReferenceTable::fromScene().print(stdout, m_colour);
        std::fflush(stdout);
    }
    QString relative(const QString& path) const { return QDir(m_project).relativeFilePath(path); }

    bool writeMeshes();
    NodeRefPtr makeAssembly(const char* name, const NodePtr& parent);
    bool importInto(const QStringList& files, const NodePtr& parent);
    void placePart(const NodePtr& node);
    bool save();
    bool waitForChange(const QString& what);
    // Changes a file's content and moves its time on, so that the change
    // shows even within the second the file was written.
    bool rewrite(const QString& path, const QByteArray& extra);

    ksTalvikHost& m_host;
    QString m_folder;
    QString m_project; // the project folder
    QString m_projectFile;
    bool m_colour;
    int m_step = 0;
};

bool Demo::writeMeshes()
{
    struct Mesh {
        const char* file;
        void (*build)(ksObjWriter&);
    };
    const Mesh meshes[] = {
        {"cad/body.obj", [](ksObjWriter& w) { w.addBox(4.0f, 1.8f, 1.2f); }},
        {"cad/wheel.obj", [](ksObjWriter& w) { w.addCylinder(0.35f, 0.25f, 24); }},
        {"cad/door_v1.obj", [](ksObjWriter& w) { w.addBox(1.1f, 0.08f, 0.9f); }},
        {"cad/engine.obj", [](ksObjWriter& w) {
             w.addBox(0.8f, 0.6f, 0.5f);
             w.addCylinder(0.1f, 0.7f, 12);
         }},
    };
    QDir(m_project).mkpath("cad");
    for (const Mesh& mesh : meshes) {
        ksObjWriter writer;
        mesh.build(writer);
        QString error;
        const QString path = QDir(m_project).filePath(mesh.file);
        if (!writer.write(path, &error)) {
            ksProjectFile::report(path, error);
            return false;
        }
        note(QStringLiteral("wrote %1 (%2 triangles)").arg(mesh.file).arg(writer.triangleCount()));
    }
    return true;
}

NodeRefPtr Demo::makeAssembly(const char* name, const NodePtr& parent)
{
    NodeRefPtr node = Node::create();
    beginEditCP(node, Node::CoreFieldMask);
    node->setCore(Transform3D::create());
    endEditCP(node, Node::CoreFieldMask);
    ksNodeUtils::setName(node, name);
    beginEditCP(parent, Node::ChildrenFieldMask);
    parent->addChild(node);
    endEditCP(parent, Node::ChildrenFieldMask);
    return node;
}

// Each part where it sits on the car (the meshes are all made around the
// origin), so that a view of the scene shows a car.
void Demo::placePart(const NodePtr& node)
{
    static const std::map<std::string, Vec3f> places{{"wheel", Vec3f(-1.3f, -0.9f, 0.6f)},
                                                     {"door_v1", Vec3f(-0.2f, 0.94f, 0.0f)},
                                                     {"engine", Vec3f(2.2f, -0.3f, 0.0f)}};
    const auto place = places.find(ksNodeUtils::getName(node));
    const Transform3DPtr transform = Transform3DPtr::dcast(node->getCore());
    if (place == places.end() || !transform)
        return;
    beginEditCP(transform, Transform3D::getCombinedTransformAttributesMask());
    transform->setTranslation(place->second);
    endEditCP(transform, Transform3D::getCombinedTransformAttributesMask());
}

bool Demo::importInto(const QStringList& files, const NodePtr& parent)
{
    QStringList paths, errors;
    for (const QString& file : files)
        paths << QDir(m_project).filePath(file);
    const std::vector<NodeRefPtr> added = ksSceneImporter::importFiles(paths, parent, &errors);
    for (const QString& error : errors)
        std::fprintf(stderr, "talvik: %s\n", qPrintable(error));
    for (const NodeRefPtr& node : added) {
        placePart(node);
        note(QStringLiteral("imported %1 as a source reference (%2 vertices)")
                 .arg(QString::fromStdString(ksNodeUtils::getName(node.get())))
                 .arg(ksSceneImporter::countVertices(node.get())));
    }
    return errors.isEmpty();
}

bool Demo::save()
{
    QStringList written;
    QObject listener;
    QObject::connect(ksFileIO::instance(), &ksFileIO::smartReferenceSaved, &listener,
                     [&written](const QString& path) { written << path; });
    if (!ksFileIO::saveProject(m_projectFile)) {
        ksProjectFile::report(m_projectFile, QStringLiteral("saving failed: %1").arg(m_host.lastError()));
        return false;
    }
    for (const QString& path : written)
        note(QStringLiteral("wrote %1").arg(relative(path)));
    note(QStringLiteral("wrote %1").arg(relative(m_projectFile)));
    return true;
}

bool Demo::waitForChange(const QString& what)
{
    QEventLoop loop;
    bool changed = false;
    QObject::connect(m_host.service(), &ksReferenceService::referencesChanged, &loop,
                     [&](const QList<ksdReferenceNode>& nodes) {
                         if (nodes.isEmpty())
                             return;
                         changed = true;
                         loop.quit();
                     });
    QTimer::singleShot(changeTimeout, &loop, &QEventLoop::quit);
    loop.exec();
    if (!changed) {
        std::fprintf(stderr, "talvik: the update monitor reported no change after %s\n", qPrintable(what));
        return false;
    }
    // Notifications go out right after the change report.
    QCoreApplication::processEvents();
    return true;
}

bool Demo::rewrite(const QString& path, const QByteArray& extra)
{
    QFile file(path);
    if (!file.open(QIODevice::Append) || file.write(extra) != extra.size())
        return false;
    file.close();
    if (!file.open(QIODevice::ReadWrite))
        return false;
    return file.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
}

int Demo::run()
{
    const auto fail = [] { return ksCommandLine::Failure; };
    m_project = QDir(m_folder).filePath("car");
    m_projectFile = QDir(m_project).filePath("assembly.zmb");
    // Both folders the demo makes: a run into the folder of an earlier run
    // would otherwise get as far as the move and stop there.
    for (const QString& taken : {m_project, QDir(m_folder).filePath("car-moved")}) {
        if (QFileInfo::exists(taken)) {
            ksProjectFile::report(taken, QStringLiteral("already exists; give the demo a fresh folder"));
            return ksCommandLine::UsageError;
        }
    }
    ksReferenceService* service = m_host.service();
    service->setUpdateMonitoringInterval(monitorInterval);
    service->setNotificationMode(ksReferenceTypes::NotifyAfterUpdateCheck);
    QObject::connect(ksa::notification::NotificationManager::getInstance(),
                     &ksa::notification::NotificationManager::notificationShown, ksFileIO::instance(),
                     [this](ksa::notification::Notification* notification) {
                         note(QStringLiteral("notification: %1").arg(notification->displayText()));
                     });
    std::printf("Building a car assembly in %s\n", qPrintable(QDir(m_project).absolutePath()));

    step(QStringLiteral("Writing the source meshes"));
    if (!writeMeshes())
        return fail();

    step(QStringLiteral("Importing them as source references"));
    ksFileIO::newScene();
    const NodeRefPtr car = makeAssembly("Car", ksScenegraph::getRoot());
    const NodeRefPtr chassis = makeAssembly("Chassis", car.get());
    if (!importInto({"cad/body.obj", "cad/wheel.obj"}, chassis.get())
        || !importInto({"cad/door_v1.obj", "cad/engine.obj"}, car.get()))
        return fail();

    step(QStringLiteral("Turning the sub-assemblies into nested smart references"));
    for (const NodeRefPtr& node : {chassis, car})
        service->convertToSmart(ksTypeConverter::convertNode(node.get()), false);
    note(QStringLiteral("Chassis (body, wheel) is a smart reference inside the smart reference Car"));

    step(QStringLiteral("Saving the project (smart files innermost first)"));
    if (!save())
        return fail();
    table();

    step(QStringLiteral("A source file changed on disk: cad/engine.obj"));
    if (!rewrite(QDir(m_project).filePath("cad/engine.obj"), "v 0 0 1\n") || !waitForChange("engine.obj changed"))
        return fail();
    table();

    step(QStringLiteral("A smart file was deleted: Chassis.zmb"));
    const QString chassisFile = QDir(m_project).filePath("Chassis.zmb");
    const QString kept = chassisFile + ".kept";
    if (!QFile::rename(chassisFile, kept) || !waitForChange("Chassis.zmb deleted"))
        return fail();
    table();
    if (!QFile::rename(kept, chassisFile) || !waitForChange("Chassis.zmb restored"))
        return fail();
    note(QStringLiteral("put Chassis.zmb back"));

    step(QStringLiteral("A newer revision appeared: cad/door_v2.obj"));
    service->setRevisionExpressions({QStringLiteral("_v(\\d+)")});
    service->setRevisionCheckEnabled(true);
    QFile::copy(QDir(m_project).filePath("cad/door_v1.obj"), QDir(m_project).filePath("cad/door_v2.obj"));
    if (!waitForChange("door_v2.obj appeared"))
        return fail();
    for (const ksdReferenceNode& door : service->getSceneReferences()) {
        if (door.getSourceRevision().isEmpty())
            continue;
        const QStringList revisions = service->sortRevisions(door.getSourceRevisions());
        note(QStringLiteral("door revisions: %1, in use %2, newest %3")
                 .arg(revisions.join(", "), door.getSourceRevision(), revisions.value(revisions.size() - 1)));
    }
    table();
    // Said out loud: the tables after this one show door_v1.obj as up to
    // date although door_v2.obj is still beside it.
    service->setRevisionCheckEnabled(false);
    note(QStringLiteral("revision check switched off: from here on door_v1.obj shows as up to date"));

    step(QStringLiteral("The project folder moved: car -> car-moved; its references resolved again"));
    ksFileIO::newScene();
    const QString moved = QDir(m_folder).filePath("car-moved");
    if (!QDir().rename(m_project, moved))
        return fail();
    m_project = moved;
    m_projectFile = QDir(m_project).filePath("assembly.zmb");
    QString error;
    if (!ksProjectFile::load(m_host, m_projectFile, error)) {
        ksProjectFile::report(m_projectFile, error);
        return fail();
    }
    for (const QString& found : m_host.takeResolvedPaths())
        note(QStringLiteral("found smart file %1").arg(found));
    const ksReferenceResolver::Result sources =
        ksReferenceResolver({QDir(m_project).filePath("cad")}).resolveSources(m_projectFile);
    for (const QString& found : sources.found)
        note(QStringLiteral("found source file %1").arg(found));
    // engine.obj changed in step 5: the file of that name is not the one
    // the record knows, so it is not taken on its name alone.
    for (const QString& ambiguous : sources.ambiguous)
        note(QStringLiteral("left as it was, candidates for %1").arg(ambiguous));
    if (!save())
        return fail();
    table();

    step(QStringLiteral("The project loaded into a fresh scene"));
    if (!ksProjectFile::load(m_host, m_projectFile, error)) {
        ksProjectFile::report(m_projectFile, error);
        return fail();
    }
    table();

    std::printf("\nDone. Project folder: %s\nTry: talvik status %s\n", qPrintable(m_project),
                qPrintable(m_projectFile));
    return 0;
}

} // namespace

int ksDemoCommand::run(const ksCommandLine& line, ksTalvikHost& host)
{
    if (line.positional().size() > 1) {
        std::fprintf(stderr, "talvik: demo takes at most one folder\n%s", qPrintable(ksCommandLine::help(QStringLiteral("demo"))));
        return ksCommandLine::UsageError;
    }
    QString folder;
    if (line.positional().isEmpty()) {
        QTemporaryDir scratch(QDir::temp().filePath("talvik-demo-XXXXXX"));
        scratch.setAutoRemove(false);
        folder = scratch.path();
    } else {
        folder = line.positional().first();
        if (!QDir().mkpath(folder)) {
            ksProjectFile::report(folder, QStringLiteral("cannot create the folder"));
            return ksCommandLine::UsageError;
        }
    }
    if (!host.start(line.has("verbose"))) {
        std::fprintf(stderr, "talvik: %s\n", qPrintable(host.lastError()));
        return ksCommandLine::Failure;
    }
    ksProgressBar progress(true);
    return Demo(host, QDir(folder).absolutePath()).run();
}
