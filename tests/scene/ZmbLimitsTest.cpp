// Licensed under the MIT licence; see LICENSE.
// What the ".zmb" reader refuses before reading or unpacking a file whole,
// and that the writer never writes what the reader would refuse.
#include "IdenticalNodes.h"
#include "SceneTestSupport.h"

#include "scene/ksZmbReader.h"
#include "scene/ksZmbWriter.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

#include <sys/stat.h>

using namespace osg;

namespace {

TEST(ZmbLimits, SectionsThatPackTooTightAreStoredAsTheyAre)
{
    const NodeRefPtr root = identicalNodes(20000);
    const std::vector<std::uint8_t> bytes = ksZmbWriter(root.get(), {}, {}).toBytes();
    // The scene is the third section of the table.
    const std::size_t scene = ksZmb::HeaderSize + 2 * ksZmb::SectionEntrySize;
    ASSERT_EQ(std::memcmp(bytes.data() + scene, "SCEN", 4), 0);
    EXPECT_EQ(bytes[scene + 4] & ksZmb::FlagZstd, 0u) << "stored as it is";
    ksZmbReader reader;
    ASSERT_TRUE(reader.readMemory(bytes.data(), bytes.size())) << reader.getError();
    EXPECT_EQ(reader.getRoot()->getNChildren(), 20000u);
}

TEST(ZmbLimits, WhatIsNotARegularFileIsRefusedWithoutWaiting)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo.zmb");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    ksZmbReader reader;
    for (const QString& path : {fifo, dir.path()}) {
        EXPECT_FALSE(reader.readFile(path));
        EXPECT_FALSE(reader.readMetadataFile(path));
    }
    EXPECT_EQ(reader.getError(), "cannot open: is a folder");
    EXPECT_FALSE(reader.readFile(fifo));
    EXPECT_EQ(reader.getError(), "cannot open: not a regular file");
}

} // namespace
