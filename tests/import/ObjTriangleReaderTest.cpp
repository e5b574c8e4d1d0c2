// Licensed under the MIT licence; see LICENSE.
// The own reader of plain OBJ files against Assimp's reading of the same
// files: every file it takes must give Assimp's tree exactly, and every file
// it cannot must still import, through Assimp.
#include "import/ksMeshImporter.h"
#include "import/ksObjTriangleReader.h"
#include "nodeutils/ksNodeUtils.h"
#include "scenegraph/SceneGraph.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstring>
#include <string>

using namespace osg;

namespace {

bool sameBits(const std::vector<Vec3f>& a, const std::vector<Vec3f>& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Vec3f)) == 0);
}

// The first difference between two trees, or "" when they are the same down
// to the last bit of every position.
std::string difference(const NodePtr& a, const NodePtr& b, const std::string& where = "/")
{
    const std::string here = where + ksNodeUtils::getName(a);
    if (ksNodeUtils::getName(a) != ksNodeUtils::getName(b))
        return here + ": named " + ksNodeUtils::getName(b) + " by Assimp";
    if (a->getNChildren() != b->getNChildren())
        return here + ": " + std::to_string(a->getNChildren()) + " children, Assimp " +
               std::to_string(b->getNChildren());
    const GeometryPtr ga = GeometryPtr::dcast(a->getCore());
    const GeometryPtr gb = GeometryPtr::dcast(b->getCore());
    const Transform3DPtr ta = Transform3DPtr::dcast(a->getCore());
    const Transform3DPtr tb = Transform3DPtr::dcast(b->getCore());
    if (bool(ga) != bool(gb) || bool(ta) != bool(tb))
        return here + ": another kind of core";
    if (ga && (!sameBits(ga->getPositions(), gb->getPositions()) || ga->getNormals().size() != gb->getNormals().size()
               || ga->getIndices() != gb->getIndices()))
        return here + ": other geometry (" + std::to_string(ga->getPositions().size()) + " vertices, Assimp " +
               std::to_string(gb->getPositions().size()) + ")";
    if (ta && !(ta->getMatrix() == tb->getMatrix()))
        return here + ": another transform";
    for (UInt32 i = 0; i < a->getNChildren(); ++i) {
        const std::string inner = difference(a->getChild(i), b->getChild(i), here + "/");
        if (!inner.empty())
            return inner;
    }
    return {};
}

// A number written in one of the ways exporters write them; a plain one
// never starts with a point (Assimp drops such a line).
std::string number(QRandomGenerator& random, bool plain)
{
    const double value = (random.generateDouble() - 0.5) * std::pow(10.0, random.bounded(-4, 5));
    switch (random.bounded(6)) {
    case 0: return std::to_string(random.bounded(-50, 50));
    case 1: return QString::number(value, 'f', random.bounded(1, 9)).toStdString();
    case 2: return QString::number(value, 'e', random.bounded(1, 9)).toStdString();
    case 3: return QString::number(value, 'g', 17).toStdString();
    case 4: return (value < 0 || plain ? "-." : ".") + std::to_string(random.bounded(1, 100000));
    default: return "+" + QString::number(std::abs(value), 'f', 6).toStdString();
    }
}

// A plain file two times in three; otherwise one line the own reader leaves
// to Assimp. Indices may be out of range either way.
std::string randomObj(QRandomGenerator& random)
{
    const bool plain = random.bounded(3) != 0;
    std::string text;
    const char* const end = random.bounded(4) == 0 ? "\r\n" : "\n";
    const auto line = [&](const std::string& content) { text += content + end; };
    if (random.bounded(3))
        line("# exported for a test");
    int written = 0, objects = 0;
    const int lines = random.bounded(4, 90);
    const int odd = plain ? -1 : random.bounded(lines);
    for (int i = 0; i < lines; ++i) {
        const int kind = i == odd ? 99 : random.bounded(95);
        if (kind < 35 || written < 3) {
            line("v " + number(random, plain) + " " + number(random, plain) + (random.bounded(2) ? "\t" : " ") +
                 number(random, plain));
            ++written;
        } else if (kind < 75) {
            std::string face = "f";
            for (int c = 0; c < 3; ++c) {
                const int index = random.bounded(written + (random.bounded(50) == 0)) + 1;
                face += " " + std::to_string(random.bounded(3) ? index : index - written - 1);
            }
            line(face);
        } else if (kind < 85) {
            // Now and then a name again, which Assimp merges into the first.
            line("o part" + std::to_string(random.bounded(10) ? objects++ : random.bounded(objects + 1)));
        } else if (kind < 90) {
            line(random.bounded(2) ? "s 1" : "s off");
        } else if (kind < 95) {
            line("");
        } else {
            static const char* const others[] = {"vn 0 0 1", "f 1 2 3 1", "g group", "usemtl red", "f 1//1 2//1 3//1",
                                                 "f 1 2 99",
                                                 "o defaultobject", "  v 0 0 0", "v 1 2 3 1", "f 0 1 2", "o two words"};
            line(others[random.bounded(int(sizeof others / sizeof others[0]))]);
        }
    }
    return text;
}

QString write(const QTemporaryDir& dir, const QString& name, const std::string& content)
{
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content.data(), qint64(content.size())) == qint64(content.size()));
    return file.fileName();
}

TEST(ObjTriangleReader, GivesAssimpsTreeOrLeavesTheFileToIt)
{
    QTemporaryDir dir;
    QRandomGenerator random(2026);
    int own = 0, refusedByBoth = 0;
    for (int round = 0; round < 600; ++round) {
        const std::string content = randomObj(random);
        SCOPED_TRACE(content);
        const QString path = write(dir, QStringLiteral("part%1.obj").arg(round), content);
        QString error, assimpError;
        const NodeRefPtr read = ksMeshImporter::read(path, &error);
        const NodeRefPtr assimp = ksMeshImporter::readThroughAssimp(path, &assimpError);
        const bool taken = bool(ksObjTriangleReader::read(content.data(), content.size(),
                                                          QStringLiteral("part%1.obj").arg(round).toStdString()));
        own += taken;
        if (!assimp) {
            EXPECT_FALSE(taken) << "Assimp refuses it: " << assimpError.toStdString();
            EXPECT_EQ(error, assimpError) << "the same reason either way";
            ++refusedByBoth;
            continue;
        }
        ASSERT_TRUE(read) << error.toStdString();
        EXPECT_EQ(difference(read, assimp), "");
    }
    // Most of these files are plain; a change that quietly sent them all
    // back to Assimp would pass the comparisons above.
    EXPECT_GT(own, 250);
    EXPECT_GT(refusedByBoth, 0);
}

TEST(ObjTriangleReader, LeavesWhatItDoesNotKnowToAssimp)
{
    const char* const plain = "o A\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    EXPECT_TRUE(ksObjTriangleReader::read(plain, std::strlen(plain), "a.obj"));
    for (const char* text : {
             "o A\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2 4 3\n",     // a quad
             "o A\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//1 3//1\n", // normals
             "o A\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n",                  // past the last vertex
             "o A\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf -4 -2 -1\n",               // before the first
             "o A\nv 0 0 0\nv 1 0 0\nv 0 1 0\no A\nf 1 2 3\n",             // one name twice
             "o A\nv 0 0 0\n",                                             // no face
             "o A\nv 0 0 0x1\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",                // no number
             "o A\nv 0 0 0\nv 1 0 0\nv 0 1 0\r\rf 1 2 3\n",                // old Mac line ends
         }) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ksObjTriangleReader::read(text, std::strlen(text), "a.obj"));
    }
    EXPECT_FALSE(ksObjTriangleReader::read(plain, std::strlen(plain), "folder/a.obj")) << "a name, not a path";
    const std::string withNul = std::string(plain) + '\0';
    EXPECT_FALSE(ksObjTriangleReader::read(withNul.data(), withNul.size(), "a.obj"));
}

} // namespace
