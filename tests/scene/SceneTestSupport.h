// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/SceneGraph.h"
#include "LogRecorder.h"

#include <QFile>
#include <QString>

#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// An assembly with clones, materials, attachments and a nested reference:
//
// root "Root" (Group)
// +- wheelA "Wheel" (Transform3D `wheelCore`, FileInfo "/cad/wheel.stp")   } clones
// |  +- rim "Rim" (Geometry `rimGeo` -> paint -> studio)                   }
// +- wheelB "Wheel" (Transform3D `wheelCore`)                              }
// +- sub "Sub" (ExtReference: smart "/refs/sub.zmb", source "/cad/sub.stp")
// |  +- bolt (Geometry -> paint)
// +- tinted (MaterialGroup -> paint)
struct AssemblyScene {
    osg::NodeRefPtr root, wheelA, wheelB, rim, sub, bolt, tinted;
    osg::Transform3DRefPtr wheelCore;
    osg::GeometryRefPtr rimGeo;
    osg::ExtReferenceRefPtr subCore;
    osg::UBRDFMaterialRefPtr paint;
    osg::UEnvironmentMaterialRefPtr studio;

    explicit AssemblyScene(std::size_t rimVertices = 4)
    {
        using namespace osg;
        root = node(Group::create(), "Root");
        studio = UEnvironmentMaterial::create();
        studio->setImagePath("studio.hdr");
        paint = UBRDFMaterial::create();
        paint->setEnvironment(studio);
        paint->setDiffuseColor({0.7f, 0.1f, 0.1f});
        setName(paint.get(), "Paint");

        wheelCore = Transform3D::create();
        wheelCore->setTranslation({1, 0, 0});
        rimGeo = Geometry::create();
        std::vector<Vec3f> positions(rimVertices);
        std::vector<UInt32> indices;
        for (std::size_t i = 0; i < rimVertices; ++i) {
            positions[i] = Vec3f(float(i), float(i % 7), float(i % 13) * 0.5f);
            indices.push_back(UInt32(i));
        }
        rimGeo->setPositions(std::move(positions));
        rimGeo->setIndices(std::move(indices));
        rimGeo->setMaterial(paint);
        wheelA = node(wheelCore, "Wheel");
        FileInfoRefPtr info = FileInfo::create();
        info->setPath("/cad/wheel.stp");
        wheelA->addAttachment(info);
        rim = node(rimGeo, "Rim");
        wheelA->addChild(rim);
        wheelB = node(wheelCore, "Wheel");
        wheelB->addChild(NodeUtils::cloneTree(rim));

        subCore = ExtReference::create();
        FileReferenceRefPtr smart = FileReference::create();
        smart->setPath("/refs/sub.zmb");
        FileReferenceRefPtr source = FileReference::create();
        source->setPath("/cad/sub.stp");
        subCore->setSmartFile(smart);
        subCore->setSourceFile(source);
        subCore->setState(2);
        sub = node(subCore, "Sub");
        GeometryRefPtr boltGeo = Geometry::create();
        boltGeo->setPositions({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
        boltGeo->setIndices({0, 1, 2});
        boltGeo->setMaterial(paint);
        bolt = node(boltGeo, "Bolt");
        sub->addChild(bolt);

        MaterialGroupRefPtr group = MaterialGroup::create();
        group->setMaterial(paint);
        tinted = node(group, "Tinted");

        root->addChild(wheelA);
        root->addChild(wheelB);
        root->addChild(sub);
        root->addChild(tinted);
    }

    static osg::NodeRefPtr node(osg::NodeCoreRefPtr core, const std::string& name)
    {
        osg::NodeRefPtr n = osg::Node::create();
        n->setCore(std::move(core));
        osg::setName(n.get(), name);
        return n;
    }
};

inline QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Runs `body` in a child process and gives its exit code (-1 when it died).
// Used for process-wide limits such as the largest file a process may write.
inline int runInChild(const std::function<int()>& body)
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// Writes past `bytes` fail with EFBIG from now on, as on a full disk.
inline void limitFileSize(rlim_t bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &limit);
}
