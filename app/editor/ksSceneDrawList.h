// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/SceneGraph.h"

#include <QHash>
#include <QMatrix4x4>
#include <QSet>
#include <QVector3D>
#include <QVector>

#include <functional>

// What the 3D view draws, taken from the host's scene graph without any
// OpenGL: each geometry with its world transform and colour and the reference
// it belongs to, and a box for each reference without content (unloaded or
// missing). Kept apart from the widget so that culling and the choice of
// what a pixel means can be reasoned about on their own.
class ksSceneDrawList
{
public:
    struct Bounds
    {
        QVector3D min{1e30f, 1e30f, 1e30f};
        QVector3D max{-1e30f, -1e30f, -1e30f};
        bool isValid() const { return min.x() <= max.x(); }
        void add(const QVector3D& point);
        void add(const Bounds& other);
        QVector3D centre() const { return (min + max) * 0.5f; }
        float radius() const { return isValid() ? (max - min).length() * 0.5f : 0.f; }
        // The box around the eight transformed corners.
        Bounds transformed(const QMatrix4x4& matrix) const;
    };

    struct Item
    {
        osg::GeometryPtr geometry;
        quint32 geometryId = 0;
        QMatrix4x4 world;
        // The most `world` stretches a length: the mesh's units to the world's.
        float scale = 1.f;
        // Whether `world` mirrors (turns the triangles' winding round).
        bool mirrored = false;
        Bounds local;
        Bounds worldBounds;
        QVector3D colour;
        // The innermost reference node above the geometry (0 when none), and
        // every node id from the geometry's node up to the root: a selected
        // ancestor highlights the geometry.
        quint32 referenceNodeId = 0;
        QVector<quint32> path;
    };

    struct Box
    {
        quint32 referenceNodeId = 0;
        QMatrix4x4 world;
        Bounds local;
        Bounds worldBounds;
        QVector<quint32> path;
    };

    // Walks the tree below `root`; bounds last seen for a reference's content
    // (in `knownBounds`) give the box of that reference once its content is
    // gone; a reference never seen with content gets a cube of `defaultSize`.
    void build(const osg::NodePtr& root, QHash<quint32, Bounds>& knownBounds);

    const QVector<Item>& items() const { return m_items; }
    const QVector<Box>& boxes() const { return m_boxes; }
    const Bounds& bounds() const { return m_bounds; }
    // The world transform of every reference node drawn.
    const QHash<quint32, QMatrix4x4>& referenceWorlds() const { return m_referenceWorlds; }
    // The bounds of what lies below any of these nodes.
    Bounds boundsOf(const QSet<quint32>& nodeIds) const;

    // Whether a world box is outside the view volume of `viewProjection`
    // (entirely beyond one of its six planes).
    static bool isCulled(const Bounds& worldBounds, const QMatrix4x4& viewProjection);

private:
    void visit(const osg::NodePtr& node, const QMatrix4x4& parentWorld, quint32 reference, QVector<quint32>& path,
               QHash<quint32, Bounds>& knownBounds);

    QVector<Item> m_items;
    QVector<Box> m_boxes;
    Bounds m_bounds;
    QHash<quint32, QMatrix4x4> m_referenceWorlds;
};
