// Licensed under the MIT licence; see LICENSE.
#include "AppTestSupport.h"

#include <QRegularExpression>
#include <QTemporaryDir>

using namespace apptest;

// Real models of several formats, imported as smart references, come back
// from their own files with every vertex.
TEST(ModelRoundTrip, StatusShowsTheVertexCountsTheImportPrinted)
{
    const QString models = "/usr/share/assimp/models";
    if (!QFileInfo(models).isDir())
        GTEST_SKIP() << "the assimp-testmodels package is not installed";
    const char* const files[] = {
        "OBJ/box.obj",       "OBJ/WusonOBJ.obj",       "STL/Spider_ascii.stl",       "STL/Spider_binary.stl",
        "PLY/cube.ply",      "PLY/Wuson.ply",          "Collada/Cinema4D.dae",       "3DS/RotatingCube.3DS",
        "FBX/box.fbx",       "X/anim_test.x",          "AC/SphereWithLight.ac",      "OFF/Cube.off",
        "ASE/MotionCaptureROM.ase", "MS3D/twospheres.ms3d", "DXF/PinkEggFromLW.dxf",
        "glTF2/BoxTextured-glTF-Binary/BoxTextured.glb",
    };
    QStringList paths;
    for (const char* file : files)
        if (QFileInfo::exists(models + "/" + file))
            paths << models + "/" + file;
    ASSERT_FALSE(paths.isEmpty());

    QTemporaryDir dir;
    const QString project = dir.filePath("P.zmb");
    const Result import = talvik(QStringList{"import"} + paths + QStringList{"--into", project, "--smart"});
    ASSERT_EQ(import.exitCode, 0) << import.err.toStdString();

    // Names repeat across formats (box.obj, box.fbx), so rows go by order.
    QList<int> printed;
    const QRegularExpression line("^imported .* as .*: (\\d+) vertices$", QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(import.out); it.hasNext();)
        printed << it.next().captured(1).toInt();
    ASSERT_EQ(printed.size(), paths.size()) << import.out.toStdString();

    int exitCode = -1;
    const QJsonObject status = statusJson(project, &exitCode);
    EXPECT_EQ(exitCode, 0);
    QList<int> loaded;
    for (const QJsonValue& value : status["references"].toArray()) {
        const QJsonObject reference = value.toObject();
        if (reference["depth"].toInt() != 0)
            continue;
        loaded << reference["vertices"].toInt();
        EXPECT_EQ(reference["smart"].toObject()["state"].toString(), "up to date");
        EXPECT_TRUE(QFileInfo(reference["smart"].toObject()["path"].toString()).isFile());
    }
    EXPECT_EQ(loaded, printed);
    for (int count : printed)
        EXPECT_GT(count, 0);
}
