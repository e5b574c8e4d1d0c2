// Licensed under the MIT licence; see LICENSE.
// Progress inside one long file: an import as Assimp reports it, a load by
// the bytes read.
#include "LargeObj.h"

#include "import/ksMeshImporter.h"
#include "scene/ksFastGeometryLoader.h"
#include "scene/ksFileIO.h"
#include "scenegraph/SceneGraph.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

using namespace osg;

// A file larger than Assimp's read buffer reports its read on the way (below
// a half: reading is Assimp's first half), only ever rises, and reaches 1
// with the tree. Saved as a smart file and loaded, it moves the current step
// on by the bytes read, up to all of them.
TEST(ImportProgress, RisesInsideALargeFileUpToTheWhole)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("large.obj");
    ASSERT_TRUE(writeLargeObj(path, std::size_t(20) << 20));
    std::vector<double> seen;
    QString error;
    const NodeRefPtr root = ksMeshImporter::read(path, &error, [&seen](double fraction) { seen.push_back(fraction); });
    ASSERT_TRUE(root) << error.toStdString();
    ASSERT_GE(seen.size(), 3u);
    EXPECT_TRUE(std::adjacent_find(seen.begin(), seen.end(), std::greater_equal<double>()) == seen.end())
        << "every report above the last";
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](double f) { return f > 0 && f < 0.5; }))
        << "a report while the file is read";
    EXPECT_EQ(seen.back(), 1.0);

    const QString smart = dir.filePath("large.zmb");
    ASSERT_TRUE(ksFileIO::saveSmartReference(root.get(), smart.toStdString(), {}));
    ksFileIO::addAdvancedProgress("Loading", 1);
    QSignalSpy parts(ksFileIO::instance(), &ksFileIO::advancedProgressPartChanged);
    const NodeRefPtr loaded = ksFastGeometryLoader().load(smart).root;
    const int depth = ksFileIO::getAdvancedProgressDepth();
    ksFileIO::removeAdvancedProgress();
    ASSERT_TRUE(loaded);
    ASSERT_GE(parts.size(), 2) << "a file of " << QFileInfo(smart).size() << " bytes read in blocks";
    EXPECT_LT(parts.first().at(0).toDouble(), 1.0);
    EXPECT_EQ(parts.last().at(0).toDouble(), 1.0);
    const QString total = QString::number(double(QFileInfo(smart).size()) / 1e6, 'f', 0);
    EXPECT_EQ(parts.last().at(1).toString(), QStringLiteral("large.zmb %1 of %1 MB read").arg(total));
    EXPECT_EQ(parts.last().at(2).toInt(), depth);
}
