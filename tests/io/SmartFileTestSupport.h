// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/SceneGraph.h"

#include "../scene/SceneTestSupport.h"
#include "ReferenceNodes.h"
#include "io/ksSmartFile.h"
#include "model/ksReferencePool.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceTypes.h"
#include "scene/ksFileIO.h"
#include "scene/ksSceneData.h"
#include "scene/ksSceneDataManager.h"
#include "scene/ksScenegraph.h"
#include "scene/ksZmbReader.h"
#include "scenegraph/SceneFileHandler.h"
#include "model/ksReferenceSettings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace smartfiletest {

using referencenodes::add;
using referencenodes::childNames;

inline osg::GeometryRefPtr makeTriangle(const osg::MaterialRefPtr& material = {})
{
    osg::GeometryRefPtr geometry = osg::Geometry::create();
    geometry->setPositions({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    geometry->setIndices({0, 1, 2});
    if (material)
        geometry->setMaterial(material);
    return geometry;
}

// A reference node with a smart record for `smartPath` (empty: none given
// yet) under `parent`; with `part`, one geometry child named `<name>Part`.
inline osg::NodeRefPtr addSmartReference(const osg::NodePtr& parent, const std::string& name,
                                         const std::string& smartPath,
                                         osg::UInt32 state = ksReferenceTypes::Undefined, bool part = true)
{
    osg::ExtReferenceRefPtr core = osg::ExtReference::create();
    core->setSmartFile(referencenodes::record(smartPath));
    core->setState(state);
    osg::NodeRefPtr node = add(parent, name, core);
    if (part)
        add(node.get(), name + "Part", makeTriangle());
    return node;
}

// root `rootName` (Group)
// +- "Body" (Geometry -> paint "Paint" -> studio "Studio")
// +- "Wheel" (Transform3D)
//    +- "Rim" (Geometry -> paint)
inline osg::NodeRefPtr makeContent(const std::string& rootName = "Root")
{
    using namespace osg;
    UEnvironmentMaterialRefPtr studio = UEnvironmentMaterial::create();
    studio->setImagePath("studio.hdr");
    setName(studio.get(), "Studio");
    UBRDFMaterialRefPtr paint = UBRDFMaterial::create();
    paint->setEnvironment(studio);
    setName(paint.get(), "Paint");
    NodeRefPtr root = add(osg::NullFC, rootName, Group::create());
    add(root.get(), "Body", makeTriangle(paint));
    const NodeRefPtr wheel = add(root.get(), "Wheel", Transform3D::create());
    add(wheel.get(), "Rim", makeTriangle(paint));
    return root;
}

// Writes `root` as a smart file of the type its suffix names (".zmb" in any
// case through the host's file IO, anything else as ".osb").
inline bool writeContent(const QString& path, const osg::NodeRefPtr& root, const ksSmartReferenceStash& stash = {})
{
    if (QFileInfo(path).suffix().compare("zmb", Qt::CaseInsensitive) == 0)
        return bool(ksFileIO::saveSmartReference(root.get(), path.toUtf8().toStdString(), stash));
    return osg::SceneFileHandler::the().write(root.get(), path.toUtf8().toStdString());
}

// Reads a smart file back as the host reads it, without touching the scene.
inline osg::NodeRefPtr readContent(const QString& path)
{
    if (QFileInfo(path).suffix().compare("zmb", Qt::CaseInsensitive) == 0) {
        return ksZmbReader::read(path).root;
    }
    return osg::SceneFileHandler::the().read(path.toUtf8().toStdString());
}

inline osg::NodePtr findByName(const osg::NodePtr& root, const std::string& name)
{
    osg::NodePtr found;
    osg::traverse(root, [&](const osg::NodePtr& node) {
        if (ksNodeUtils::getName(node) != name)
            return osg::Action::Continue;
        found = node;
        return osg::Action::Quit;
    });
    return found;
}

inline bool fileHasNode(const QString& path, const std::string& name)
{
    const osg::NodeRefPtr root = readContent(path);
    return root && findByName(root.get(), name);
}

inline QStringList filesIn(const QString& dir) { return QDir(dir).entryList(QDir::Files, QDir::Name); }

// Lets the timers that are due run, as one turn of the host's event loop.
inline void runEventLoopTurn()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// A fresh live scene; makeReference puts one smart reference node in it:
//
// live root "Root"
// +- node "Engine" (ExtReference `core`, State NotLoaded; smart record -> `smartPath`)
class SmartFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        static const bool hooked = (ksReferencePool::instance().registerCallbacks(), true);
        (void)hooked;
        ksScenegraph::newScene();
        ksFileIO::setIncrementalSaveEnabled(false);
        // No scene file or export setting of an earlier test carries over.
        ksSceneDataManager::getSceneData(0)->setCurrentFile(QString());
        ksReferenceSettings::the().setExportLocation(ksReferenceTypes::NextToSource);
        ksReferenceSettings::the().setCustomExportPath(QString());
        // The cases check the module's messages, which the user's level would filter.
        ksReferenceSettings::the().setLogLevel(4);
    }

    void TearDown() override
    {
        node.reset();
        core.reset();
        ksScenegraph::newScene();
        ksFileIO::setIncrementalSaveEnabled(false);
        runEventLoopTurn();
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    void makeReference(const QString& smartPath)
    {
        node = addSmartReference(ksScenegraph::getRoot(), "Engine", smartPath.toUtf8().toStdString(),
                                 ksReferenceTypes::NotLoaded, false);
        core = osg::ExtReferencePtr::dcast(node->getCore());
    }

    // Writes makeContent() (with `stash`) to the named file and makes a reference to it.
    QString makeReferenceToContent(const QString& name = "engine.zmb", const ksSmartReferenceStash& stash = {})
    {
        const QString file = path(name);
        EXPECT_TRUE(writeContent(file, makeContent(), stash));
        makeReference(file);
        return file;
    }

    void addSourceRecord(const std::string& sourcePath)
    {
        beginEditCP(core.get(), osg::ExtReference::SourceFileFieldMask);
        core->setSourceFile(referencenodes::record(sourcePath));
        endEditCP(core.get(), osg::ExtReference::SourceFileFieldMask);
    }

    osg::FileReferencePtr smartRecord() const { return core->getSmartFile(); }

    void setSmartPath(const QString& smartPath) const
    {
        beginEditCP(smartRecord(), osg::FileReference::PathFieldMask);
        smartRecord()->setPath(smartPath.toUtf8().toStdString());
        endEditCP(smartRecord(), osg::FileReference::PathFieldMask);
    }

    osg::NodeRefPtr node;
    osg::ExtReferenceRefPtr core;

private:
    QTemporaryDir m_dir;
};

} // namespace smartfiletest
