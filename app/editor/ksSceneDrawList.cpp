// Licensed under the MIT licence; see LICENSE.
#include "ksSceneDrawList.h"

#include "scenegraph/ExtReference.h"
#include "scenegraph/Geometry.h"
#include "scenegraph/Node.h"
#include "scenegraph/Transform.h"
#include "scenegraph/UBRDFMaterial.h"

#include <QVector4D>

#include <algorithm>

using namespace osg;

void ksSceneDrawList::Bounds::add(const QVector3D& point)
{
    min = QVector3D(std::min(min.x(), point.x()), std::min(min.y(), point.y()), std::min(min.z(), point.z()));
    max = QVector3D(std::max(max.x(), point.x()), std::max(max.y(), point.y()), std::max(max.z(), point.z()));
}

void ksSceneDrawList::Bounds::add(const Bounds& other)
{
    if (!other.isValid())
        return;
    add(other.min);
    add(other.max);
}

ksSceneDrawList::Bounds ksSceneDrawList::Bounds::transformed(const QMatrix4x4& matrix) const
{
    Bounds result;
    if (!isValid())
        return result;
    for (int corner = 0; corner < 8; ++corner) {
        const QVector3D point(corner & 1 ? max.x() : min.x(), corner & 2 ? max.y() : min.y(),
                              corner & 4 ? max.z() : min.z());
        result.add(matrix.map(point));
    }
    return result;
}

namespace {

QMatrix4x4 toQt(const Matrix& matrix)
{
    // Both are row-major in their constructor's terms, for column vectors.
    return QMatrix4x4(matrix.getValues());
}

ksSceneDrawList::Bounds localBounds(const Geometry& geometry)
{
    ksSceneDrawList::Bounds bounds;
    for (const Vec3f& p : geometry.getPositions())
        bounds.add(QVector3D(p[0], p[1], p[2]));
    return bounds;
}

// The longest of the images of the unit axes and of the rows: exact for a
// rotation with scales before or after it, as scene transforms mostly are,
// and never short by more than a factor of the square root of 3.
float stretchOf(const QMatrix4x4& matrix)
{
    float longest = 0;
    for (int i = 0; i < 3; ++i) {
        longest = std::max(longest, matrix.column(i).toVector3D().length());
        longest = std::max(longest, matrix.row(i).toVector3D().length());
    }
    return longest;
}

QVector3D colourOf(const Geometry& geometry)
{
    if (const UBRDFMaterialPtr material = UBRDFMaterialPtr::dcast(geometry.getMaterial())) {
        const Vec3f& c = material->getDiffuseColor();
        return QVector3D(c[0], c[1], c[2]);
    }
    return QVector3D(0.7f, 0.7f, 0.72f);
}

} // namespace

void ksSceneDrawList::build(const NodePtr& root, QHash<quint32, Bounds>& knownBounds)
{
    m_items.clear();
    m_boxes.clear();
    m_bounds = Bounds();
    m_referenceWorlds.clear();
    if (!root)
        return;
    QVector<quint32> path;
    visit(root, QMatrix4x4(), 0, path, knownBounds);
    // References never seen with content: a cube a tenth of the scene's size
    // (of one unit in a scene of nothing else).
    const float size = m_bounds.isValid() ? std::max(m_bounds.radius() * 0.2f, 1e-3f) : 1.0f;
    for (Box& box : m_boxes) {
        if (!box.local.isValid()) {
            box.local.add(QVector3D(-size, -size, -size) * 0.5f);
            box.local.add(QVector3D(size, size, size) * 0.5f);
        }
        box.worldBounds = box.local.transformed(box.world);
        m_bounds.add(box.worldBounds);
    }
}

void ksSceneDrawList::visit(const NodePtr& node, const QMatrix4x4& parentWorld, quint32 reference,
                            QVector<quint32>& path, QHash<quint32, Bounds>& knownBounds)
{
    const NodeCorePtr core = node->getCore();
    QMatrix4x4 world = parentWorld;
    if (const TransformPtr transform = TransformPtr::dcast(core))
        world = parentWorld * toQt(transform->getMatrix());
    path.append(node.getFieldContainerId());
    const bool isReference = bool(ExtReferencePtr::dcast(core));
    const quint32 nodeReference = isReference ? node.getFieldContainerId() : reference;
    const int firstItem = m_items.size();

    if (const GeometryPtr geometry = GeometryPtr::dcast(core)) {
        Item item;
        item.geometry = geometry;
        item.geometryId = geometry.getFieldContainerId();
        item.world = world;
        item.scale = stretchOf(world);
        item.mirrored = world.determinant() < 0;
        item.local = localBounds(*geometry);
        item.worldBounds = item.local.transformed(world);
        item.colour = colourOf(*geometry);
        item.referenceNodeId = nodeReference;
        item.path = path;
        m_bounds.add(item.worldBounds);
        m_items.append(std::move(item));
    }
    for (UInt32 i = 0; i < node->getNChildren(); ++i) {
        if (const NodePtr child = node->getChild(i))
            visit(child, world, nodeReference, path, knownBounds);
    }

    if (isReference) {
        const quint32 id = node.getFieldContainerId();
        m_referenceWorlds.insert(id, world);
        if (m_items.size() > firstItem) {
            // Remembered in the reference's own frame, for when its content goes.
            const QMatrix4x4 toLocal = world.inverted();
            Bounds local;
            for (int i = firstItem; i < m_items.size(); ++i)
                local.add(m_items[i].local.transformed(toLocal * m_items[i].world));
            knownBounds.insert(id, local);
        } else {
            Box box;
            box.referenceNodeId = id;
            box.world = world;
            box.local = knownBounds.value(id);
            box.path = path;
            m_boxes.append(std::move(box));
        }
    }
    path.removeLast();
}

ksSceneDrawList::Bounds ksSceneDrawList::boundsOf(const QSet<quint32>& nodeIds) const
{
    Bounds bounds;
    const auto selected = [&](const QVector<quint32>& path) {
        return std::any_of(path.begin(), path.end(), [&](quint32 id) { return nodeIds.contains(id); });
    };
    for (const Item& item : m_items)
        if (selected(item.path))
            bounds.add(item.worldBounds);
    for (const Box& box : m_boxes)
        if (selected(box.path))
            bounds.add(box.worldBounds);
    return bounds;
}

bool ksSceneDrawList::isCulled(const Bounds& worldBounds, const QMatrix4x4& viewProjection)
{
    if (!worldBounds.isValid())
        return true;
    // The planes of the clip volume, -w <= x, y, z <= w, as rows of the matrix.
    const QVector4D rows[4] = {viewProjection.row(0), viewProjection.row(1), viewProjection.row(2),
                               viewProjection.row(3)};
    const QVector4D planes[6] = {rows[3] + rows[0], rows[3] - rows[0], rows[3] + rows[1],
                                 rows[3] - rows[1], rows[3] + rows[2], rows[3] - rows[2]};
    for (const QVector4D& plane : planes) {
        // The corner furthest along the plane's normal.
        const QVector3D far(plane.x() >= 0 ? worldBounds.max.x() : worldBounds.min.x(),
                            plane.y() >= 0 ? worldBounds.max.y() : worldBounds.min.y(),
                            plane.z() >= 0 ? worldBounds.max.z() : worldBounds.min.z());
        if (QVector4D::dotProduct(plane, QVector4D(far, 1.0f)) < 0)
            return true;
    }
    return false;
}
