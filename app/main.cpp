// Licensed under the MIT licence; see LICENSE.
// talvik: the stand-in host as a program. It starts the host services, loads
// the reference module from its plug-in folder (never linked in) and runs one
// command.
#include "kernel/ksKernel.h"
#include "nodeutils/ksNodeUtils.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/SceneFileHandler.h"
#include "scenegraph/SceneGraph.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

using namespace osg;

namespace {

const char* const stateNames[] = {"up to date", "outdated", "missing", "no path"};

QString pluginDirectory()
{
    // Beside the program in a build tree (bin/ and plugins/ are siblings);
    // the configured folder otherwise.
    const QString local = QCoreApplication::applicationDirPath() + "/../plugins";
    return QFileInfo::exists(local) ? QDir(local).absolutePath() : QStringLiteral(TALVIK_PLUGIN_DIR);
}

// A closed ring of quads: enough real geometry for wheels and the like.
GeometryRefPtr makeRing(float radius, float width, int segments)
{
    std::vector<Vec3f> positions;
    std::vector<UInt32> indices;
    for (int i = 0; i < segments; ++i) {
        const float a = 2.0f * float(M_PI) * float(i) / float(segments);
        positions.emplace_back(radius * std::cos(a), radius * std::sin(a), -width / 2);
        positions.emplace_back(radius * std::cos(a), radius * std::sin(a), width / 2);
    }
    for (int i = 0; i < segments; ++i) {
        const UInt32 a = UInt32(2 * i), b = UInt32(2 * ((i + 1) % segments));
        indices.insert(indices.end(), {a, b, a + 1, b, b + 1, a + 1});
    }
    GeometryRefPtr geometry = Geometry::create();
    beginEditCP(geometry);
    geometry->setPositions(std::move(positions));
    geometry->setIndices(std::move(indices));
    endEditCP(geometry);
    return geometry;
}

NodeRefPtr makeNode(const std::string& name, NodeCoreRefPtr core)
{
    NodeRefPtr node = Node::create();
    beginEditCP(node, Node::CoreFieldMask);
    node->setCore(std::move(core));
    endEditCP(node, Node::CoreFieldMask);
    ksNodeUtils::setName(node, name);
    return node;
}

void addChild(const NodePtr& parent, NodeRefPtr child)
{
    beginEditCP(parent, Node::ChildrenFieldMask);
    parent->addChild(std::move(child));
    endEditCP(parent, Node::ChildrenFieldMask);
}

void printTree(const NodePtr& node, int depth)
{
    std::string line(std::size_t(depth) * 2, ' ');
    line += ksNodeUtils::getName(node);
    const NodeCorePtr core = node->getCore();
    if (core != NullFC)
        line += " (" + core->getTypeName() + ")";
    const ExtReferencePtr ref = ExtReferencePtr::dcast(core);
    if (ref != NullFC) {
        const auto describe = [](const char* kind, const FileReferencePtr& record) {
            if (record == NullFC)
                return std::string();
            const UInt32 state = record->getState();
            return std::string(" ") + kind + ": " + QFileInfo(QString::fromStdString(record->getPath()))
                       .fileName().toStdString()
                   + " [" + (state < 4 ? stateNames[state] : "?") + "]";
        };
        line += describe("smart", ref->getSmartFile()) + describe("source", ref->getSourceFile());
    }
    std::printf("%s\n", line.c_str());
    for (UInt32 i = 0; i < node->getNChildren(); ++i)
        printTree(node->getChild(i), depth + 1);
}

int runDemo(const QString& directory)
{
    QDir dir(directory);
    if (!dir.mkpath(".")) {
        std::fprintf(stderr, "talvik: cannot create %s\n", qPrintable(directory));
        return 1;
    }
    std::printf("Building a car assembly in %s\n", qPrintable(dir.absolutePath()));

    // The door lives in a smart file of its own.
    NodeRefPtr doorContent = makeNode("DoorPanel", makeRing(0.6f, 0.05f, 32));
    const QString doorPath = dir.absoluteFilePath("door.osb");
    if (!SceneFileHandler::the().write(doorContent, doorPath.toStdString())) {
        std::fprintf(stderr, "talvik: cannot write %s: %s\n", qPrintable(doorPath),
                     SceneFileHandler::the().getLastError().c_str());
        return 1;
    }
    std::printf("Wrote the door as a smart file: %s\n", qPrintable(QFileInfo(doorPath).fileName()));

    const NodePtr root = ksScenegraph::getRoot();
    NodeRefPtr car = makeNode("Car", Transform3D::create());
    addChild(car, makeNode("Body", makeRing(2.0f, 1.5f, 64)));
    // Four wheels share one geometry core: clones of one another.
    GeometryRefPtr wheel = makeRing(0.35f, 0.25f, 48);
    for (const char* name : {"WheelFL", "WheelFR", "WheelRL", "WheelRR"})
        addChild(car, makeNode(name, wheel));
    addChild(car, makeNode("Engine", makeRing(0.5f, 0.8f, 24)));

    ExtReferenceRefPtr doorCore = ExtReference::create();
    FileReferenceRefPtr doorRecord = FileReference::create();
    beginEditCP(doorRecord, FileReference::PathFieldMask);
    doorRecord->setPath(doorPath.toStdString());
    endEditCP(doorRecord, FileReference::PathFieldMask);
    beginEditCP(doorCore, ExtReference::SmartFileFieldMask);
    doorCore->setSmartFile(doorRecord);
    endEditCP(doorCore, ExtReference::SmartFileFieldMask);
    NodeRefPtr door = makeNode("Door", doorCore);
    addChild(door, doorContent);
    addChild(car, door);
    addChild(root, car);

    const QString projectPath = dir.absoluteFilePath("car.zmb");
    if (!ksFileIO::saveProject(projectPath)) {
        std::fprintf(stderr, "talvik: saving %s failed\n", qPrintable(projectPath));
        return 1;
    }
    std::printf("Saved the project: %s\n", qPrintable(QFileInfo(projectPath).fileName()));

    ksFileIO::newScene();
    if (!ksFileIO::loadProject(projectPath)) {
        std::fprintf(stderr, "talvik: loading %s failed\n", qPrintable(projectPath));
        return 1;
    }
    std::printf("Loaded the project into a fresh scene:\n");
    printTree(ksScenegraph::getRoot(), 1);
    return 0;
}

void usage()
{
    std::fprintf(stderr, "usage: talvik demo [DIR]\n");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.first() != "demo" || args.size() > 2) {
        usage();
        return 2;
    }

    ksKernel kernel;
    kernel.installHostServices();
    const int modules = kernel.loadModules(pluginDirectory());
    kernel.start();
    std::printf("talvik: %d module(s) loaded\n", modules);

    int status = 0;
    if (args.size() == 2) {
        status = runDemo(args.at(1));
    } else {
        QTemporaryDir scratch;
        scratch.setAutoRemove(false);
        status = runDemo(scratch.path());
    }
    kernel.shutdown();
    return status;
}
