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
#include <utility>

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
    const ksZmbReadResult read = ksZmbReader::read(bytes.data(), bytes.size());
    ASSERT_TRUE(read) << read.message;
    EXPECT_EQ(read.root->getNChildren(), 20000u);
}

TEST(ZmbLimits, WhatIsNotARegularFileIsRefusedWithoutWaiting)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo.zmb");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    const std::pair<QString, std::string> cases[] = {{fifo, "cannot open: not a regular file"},
                                                     {dir.path(), "cannot open: is a folder"}};
    for (const auto& [path, reason] : cases) {
        EXPECT_EQ(ksZmbReader::read(path).message, reason);
        EXPECT_EQ(ksZmbReader::readMetadata(path).message, reason);
    }
}

} // namespace
