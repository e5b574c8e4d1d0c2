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

// Reached as other host modules reach it: through the interface factory.
inline ksReferenceInterface& refs()
{
    return *ksInterfaceFactory::the().get<ksReferenceInterface>();
}

// A fresh live scene for each test, with the pool hearing of reference cores.
class LiveSceneTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(ksInterfaceFactory::the().get<ksReferenceInterface>(), nullptr);
        ksReferencePool::instance().registerCallbacks();
        ksScenegraph::newScene();
    }
    void TearDown() override { ksScenegraph::newScene(); }

    // The path of `name` in a fresh folder, written with `content`.
    std::string file(const char* name, const QByteArray& content) const
    {
        QFile out(m_dir.filePath(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly) && out.write(content) == content.size());
        return m_dir.filePath(name).toStdString();
    }

    QTemporaryDir m_dir;
};

} // namespace interfacetest
