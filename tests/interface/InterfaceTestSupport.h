// Licensed under the MIT licence; see LICENSE.
// Nodes, reference cores, files and the interface lookup for the tests of
// the reference interface.
#pragma once

#include "ReferenceNodes.h"

#include "kernel/ksInterfaceFactory.h"
#include "model/ksReferencePool.h"
#include "references/ksReferenceInterface.h"
#include "scene/ksScenegraph.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace interfacetest {

using namespace referencenodes;

inline ksReferenceInterface& refs()
{
    return *ksInterfaceFactory::the().get<ksReferenceInterface>();
}

// Loaded cores are the ones clones can follow.
inline osg::ExtReferenceRefPtr smartCore(const std::string& path, osg::UInt32 state = ksReferenceTypes::UpToDate,
                                         bool loaded = false)
{
    osg::ExtReferenceRefPtr core = osg::ExtReference::create();
    core->setSmartFile(record(path, state));
    if (loaded)
        core->setState(ksReferenceTypes::Loaded);
    return core;
}

// A fresh live scene for each test, with the pool hearing of reference cores.
class LiveSceneTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ksReferencePool::instance().registerCallbacks();
        ksScenegraph::newScene();
    }
    void TearDown() override { ksScenegraph::newScene(); }
};

// The path of `name` in a fresh directory, written when there is content.
struct TempFiles : QTemporaryDir
{
    std::string file(const char* name, const QByteArray& content = QByteArray()) const
    {
        QFile out(filePath(name));
        EXPECT_TRUE(content.isEmpty() || (out.open(QIODevice::WriteOnly) && out.write(content) == content.size()));
        return filePath(name).toStdString();
    }
};

} // namespace interfacetest
