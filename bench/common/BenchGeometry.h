// Licensed under the MIT licence; see LICENSE.
#pragma once

// The geometry scene that the file benchmarks load and save: `parts`
// placed meshes of a million vertices each (about 28 MB apiece with normals
// and indices), sharing one material, hung below `parent`.

#include "scenegraph/SceneGraph.h"

#include <cmath>
#include <vector>

inline void addGeometryParts(const osg::NodePtr& parent, int parts = 7)
{
    using namespace osg;
    UBRDFMaterialRefPtr paint = UBRDFMaterial::create();
    for (int part = 0; part < parts; ++part) {
        const std::size_t n = 1000000;
        std::vector<Vec3f> positions(n), normals(n);
        std::vector<UInt32> indices(n);
        for (std::size_t i = 0; i < n; ++i) {
            const float u = float(i % 1000) * 0.01f, v = float(i / 1000) * 0.01f;
            positions[i] = Vec3f(u, v, std::sin(u * 3 + part) * std::cos(v * 2));
            normals[i] = Vec3f(std::cos(u), std::sin(v), 1.0f);
            indices[i] = UInt32(i);
        }
        GeometryRefPtr geo = Geometry::create();
        geo->setPositions(std::move(positions));
        geo->setNormals(std::move(normals));
        geo->setIndices(std::move(indices));
        geo->setMaterial(paint);
        NodeRefPtr mesh = Node::create();
        mesh->setCore(geo);
        NodeRefPtr placed = Node::create();
        placed->setCore(Transform3D::create());
        placed->addChild(mesh);
        parent->addChild(placed);
    }
}
