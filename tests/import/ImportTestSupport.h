// Licensed under the MIT licence; see LICENSE.
// Files and tree lookups for the import tests.
#pragma once

#include "nodeutils/ksNodeUtils.h"
#include "scenegraph/SceneGraph.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace importtest {

// A quad with normals ("Panel", 2 triangles once split) and a triangle
// ("Tri"): 7 vertices in all.
inline const char* const quadAndTriangleObj = "o Panel\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvn 0 0 1\n"
                                              "f 1//1 2//1 3//1 4//1\n"
                                              "o Tri\nv 2 0 0\nv 3 0 0\nv 2 1 0\nf 5 6 7\n";

// Two facets of a square plate: 6 vertices, each with the facet normal.
inline const char* const plateStl = "solid plate\n"
                                    "facet normal 0 0 1\n outer loop\n vertex 0 0 0\n vertex 1 0 0\n vertex 1 1 0\n"
                                    " endloop\nendfacet\n"
                                    "facet normal 0 0 1\n outer loop\n vertex 0 0 0\n vertex 1 1 0\n vertex 0 1 0\n"
                                    " endloop\nendfacet\nendsolid plate\n";

// A cube of 8 shared corners and 6 quads: 12 triangles once split.
inline const char* const cubePly = "ply\nformat ascii 1.0\nelement vertex 8\n"
                                   "property float x\nproperty float y\nproperty float z\n"
                                   "element face 6\nproperty list uchar int vertex_indices\nend_header\n"
                                   "0 0 0\n1 0 0\n1 1 0\n0 1 0\n0 0 1\n1 0 1\n1 1 1\n0 1 1\n"
                                   "4 0 3 2 1\n4 4 5 6 7\n4 0 1 5 4\n4 1 2 6 5\n4 2 3 7 6\n4 3 0 4 7\n";

struct TempFiles : QTemporaryDir
{
    QString path(const QString& name) const { return filePath(name); }

    QString write(const QString& name, const QByteArray& content)
    {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        return path(name);
    }

    QString makeDir(const QString& name)
    {
        EXPECT_TRUE(QDir(QTemporaryDir::path()).mkpath(name));
        return path(name);
    }
};

// The first node named `name` below `root` (depth first), or NullFC.
inline osg::NodePtr findNamed(const osg::NodePtr& root, const std::string& name)
{
    if (!root || ksNodeUtils::getName(root) == name)
        return root;
    for (osg::UInt32 i = 0; i < root->getNChildren(); ++i) {
        if (const osg::NodePtr hit = findNamed(root->getChild(i), name))
            return hit;
    }
    return osg::NullFC;
}

// Every Geometry core use below `root`, depth first.
inline std::vector<osg::GeometryPtr> geometryUses(const osg::NodePtr& root, std::vector<osg::GeometryPtr> uses = {})
{
    if (const osg::GeometryPtr geometry = osg::GeometryPtr::dcast(root->getCore()))
        uses.push_back(geometry);
    for (osg::UInt32 i = 0; i < root->getNChildren(); ++i)
        uses = geometryUses(root->getChild(i), std::move(uses));
    return uses;
}

inline std::size_t countIndices(const osg::NodePtr& root)
{
    std::size_t count = 0;
    for (const osg::GeometryPtr& geometry : geometryUses(root))
        count += geometry->getIndices().size();
    return count;
}

} // namespace importtest
