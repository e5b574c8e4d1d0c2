// Licensed under the MIT licence; see LICENSE.
#include "ksSceneView.h"

#include "ksMeshLevels.h"

#include "scene/ksScenegraph.h"
#include "scenegraph/Geometry.h"

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QOpenGLBuffer>
#include <QOpenGLFramebufferObject>
#include <QOpenGLShaderProgram>
#include <QOpenGLVertexArrayObject>
#include <QSurfaceFormat>
#include <QWheelEvent>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

struct ksSceneView::Mesh
{
    struct Level
    {
        // How far its surface may lie from the mesh's, in the mesh's units
        // (0 for the mesh itself).
        float error = 0;
        QOpenGLVertexArrayObject array;
        QOpenGLBuffer vertices{QOpenGLBuffer::VertexBuffer};
        QOpenGLBuffer indices{QOpenGLBuffer::IndexBuffer};
        int indexCount = 0;
    };
    // The mesh itself first, then coarser copies, each with clearly fewer
    // triangles than the one before.
    std::vector<std::unique_ptr<Level>> levels;
    bool hasNormals = false;
    bool seen = true;
    // ksMeshLevels::closedFacing: a closed mesh's back faces are never seen.
    int facing = 0;

    int indexCount() const { return levels.empty() ? 0 : levels.front()->indexCount; }
    // The coarsest copy whose error stays within `maxError`, in the mesh's
    // units, and that keeps at least `minTriangles`.
    Level& levelFor(float maxError, float minTriangles)
    {
        for (auto it = levels.rbegin(); it != levels.rend(); ++it)
            if ((*it)->error <= maxError && float((*it)->indexCount / 3) >= minTriangles)
                return **it;
        return *levels.front();
    }
};

namespace {

// One program for everything: lit surfaces (the geometry's normals, or flat
// ones from the screen-space derivatives of the position), flat lines, and
// pick colours. The version line and the in/out words differ between GLSL
// 3.30 core and 1.20.
const char* vertexShader = R"(
IN vec3 position;
IN vec3 normal;
uniform mat4 viewProjection;
uniform mat4 model;
OUT vec3 worldPosition;
OUT vec3 worldNormal;
void main()
{
    vec4 world = model * vec4(position, 1.0);
    worldPosition = world.xyz;
    worldNormal = mat3(model) * normal;
    gl_Position = viewProjection * world;
}
)";

const char* fragmentShader = R"(
IN vec3 worldPosition;
IN vec3 worldNormal;
uniform vec3 colour;
uniform vec3 tint;
uniform float tintAmount;
uniform float highlight;
uniform bool lit;
uniform bool hasNormals;
uniform vec3 lightDirection;
void main()
{
    if (!lit) {
        FRAG_COLOUR = vec4(colour, 1.0);
        return;
    }
    vec3 n = hasNormals ? normalize(worldNormal) : normalize(cross(dFdx(worldPosition), dFdy(worldPosition)));
    float diffuse = abs(dot(n, lightDirection));
    vec3 base = mix(colour, tint, tintAmount);
    vec3 shaded = base * (0.35 + 0.65 * diffuse);
    shaded = mix(shaded, vec3(1.0, 0.85, 0.25), highlight * 0.45);
    FRAG_COLOUR = vec4(shaded, 1.0);
}
)";

QByteArray shaderSource(const char* body, bool core, bool vertex)
{
    QByteArray source = core ? "#version 330 core\n" : "#version 120\n";
    if (core) {
        source += vertex ? "#define IN in\n#define OUT out\n" : "#define IN in\nout vec4 fragColour;\n#define FRAG_COLOUR fragColour\n";
    } else {
        source += vertex ? "#define IN attribute\n#define OUT varying\n" : "#define IN varying\n#define FRAG_COLOUR gl_FragColor\n";
    }
    return source + body;
}

// A unit cube's corners; its twelve triangles and twelve edges.
const float cubeCorners[] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 0, 0, 1, 1, 0, 1, 0, 1, 1, 1, 1, 1};
const GLushort cubeFaces[] = {0, 2, 1, 1, 2, 3, 4, 5, 6, 5, 7, 6, 0, 1, 4, 1, 5, 4,
                              2, 6, 3, 3, 6, 7, 0, 4, 2, 2, 4, 6, 1, 3, 5, 3, 7, 5};
const GLushort cubeEdgeIndices[] = {0, 1, 1, 3, 3, 2, 2, 0, 4, 5, 5, 7, 7, 6, 6, 4, 0, 4, 1, 5, 2, 6, 3, 7};

QVector3D pickColour(int index)
{
    const int id = index + 1;
    return QVector3D(float(id & 0xff) / 255.f, float((id >> 8) & 0xff) / 255.f, float((id >> 16) & 0xff) / 255.f);
}

// Mesa's software renderer takes tens of megabytes from malloc for each
// frame's triangles and frees them when the frame is drawn. By default glibc
// hands the top of its heap and every block over 128 KiB back to the kernel
// at once, so each frame faulted all those pages in again and paid for
// unmapping them under the rasterising threads: with other work pressing on
// memory, that doubled the drawing thread's time. The process keeps them
// instead (up to 256 MiB).
void keepFrameMemory()
{
#ifdef __GLIBC__
    static const bool kept = [] {
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 256 << 20);
        return true;
    }();
    Q_UNUSED(kept);
#endif
}

QMatrix4x4 boxMatrix(const QMatrix4x4& world, const ksSceneDrawList::Bounds& local)
{
    QMatrix4x4 matrix = world;
    matrix.translate(local.min);
    const QVector3D size = local.max - local.min;
    matrix.scale(std::max(size.x(), 1e-4f), std::max(size.y(), 1e-4f), std::max(size.z(), 1e-4f));
    return matrix;
}

} // namespace

ksSceneView::ksSceneView(QWidget* parent)
    : QOpenGLWidget(parent)
{
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(24);
    setFormat(format);
    setMinimumSize(200, 150);
    // A camera still for this long is at rest (the wheel has no release).
    m_rest = new QTimer(this);
    m_rest->setSingleShot(true);
    m_rest->setInterval(250);
    connect(m_rest, &QTimer::timeout, this, &ksSceneView::stopMoving);
}

ksSceneView::~ksSceneView()
{
    if (context()) {
        makeCurrent();
        releaseMeshes();
        m_cubeArray.reset();
        m_cubeVertices.reset();
        m_cubeTriangles.reset();
        m_cubeEdges.reset();
        m_program.reset();
        doneCurrent();
    }
}

void ksSceneView::setRoot(const osg::NodePtr& root)
{
    m_root = root;
    m_rootSet = true;
    sceneChanged();
}

void ksSceneView::setLookProvider(LookProvider provider)
{
    m_lookProvider = std::move(provider);
    looksChanged();
}

void ksSceneView::setSelection(const QSet<quint32>& nodeIds)
{
    if (nodeIds == m_selection)
        return;
    m_selection = nodeIds;
    update();
}

void ksSceneView::sceneChanged()
{
    m_pickImage = QImage();
    m_dirty = true;
    update();
}

void ksSceneView::looksChanged()
{
    m_looks.clear();
    if (m_lookProvider) {
        for (auto it = m_drawList.referenceWorlds().begin(); it != m_drawList.referenceWorlds().end(); ++it) {
            const Look look = m_lookProvider(it.key());
            if (look.tint.isValid() || look.edited)
                m_looks.insert(it.key(), look);
        }
    }
    update();
}

void ksSceneView::rebuild()
{
    m_dirty = false;
    m_drawList.build(m_rootSet ? m_root : ksScenegraph::getRoot(), m_knownBounds);
    for (Mesh* mesh : m_meshes)
        mesh->seen = false;
    for (const ksSceneDrawList::Item& item : m_drawList.items())
        if (Mesh* mesh = m_meshes.value(item.geometryId))
            mesh->seen = true;
    // Cores no longer drawn give their buffers back.
    for (auto it = m_meshes.begin(); it != m_meshes.end();) {
        if (it.value()->seen) {
            ++it;
            continue;
        }
        delete it.value();
        it = m_meshes.erase(it);
    }
    looksChanged();
    // Until the user moves the camera, it keeps the whole scene in view.
    if (!m_cameraMoved)
        frame(m_drawList.bounds());
}

void ksSceneView::frameAll()
{
    if (m_dirty)
        rebuild();
    frame(m_drawList.bounds());
}

void ksSceneView::frameSelection()
{
    if (m_dirty)
        rebuild();
    const ksSceneDrawList::Bounds bounds = m_drawList.boundsOf(m_selection);
    frame(bounds.isValid() ? bounds : m_drawList.bounds());
}

void ksSceneView::frame(const ksSceneDrawList::Bounds& bounds)
{
    if (!bounds.isValid())
        return;
    m_target = bounds.centre();
    const float radius = std::max(bounds.radius(), 1e-3f);
    m_distance = radius / std::sin(qDegreesToRadians(22.5f)) * 1.05f;
    m_pickImage = QImage();
    update();
}

QMatrix4x4 ksSceneView::viewProjection() const
{
    const float yaw = qDegreesToRadians(m_yaw);
    const float pitch = qDegreesToRadians(m_pitch);
    const QVector3D eye = m_target
                          + m_distance * QVector3D(std::cos(pitch) * std::sin(yaw), std::sin(pitch),
                                                   std::cos(pitch) * std::cos(yaw));
    QMatrix4x4 projection;
    const float aspect = float(std::max(width(), 1)) / float(std::max(height(), 1));
    const float sceneRadius = std::max(m_drawList.bounds().radius(), 1e-3f);
    projection.perspective(45.f, aspect, std::max(m_distance * 0.01f, 1e-4f), m_distance + 4.f * sceneRadius);
    QMatrix4x4 view;
    view.lookAt(eye, m_target, QVector3D(0, 1, 0));
    return projection * view;
}

void ksSceneView::initializeGL()
{
    initializeOpenGLFunctions();
    if (const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
        renderer && (std::strstr(renderer, "llvmpipe") || std::strstr(renderer, "softpipe")))
        keepFrameMemory();
    const QSurfaceFormat actual = context()->format();
    m_core = !context()->isOpenGLES() && (actual.majorVersion() > 3 || (actual.majorVersion() == 3 && actual.minorVersion() >= 3));
    m_program = std::make_unique<QOpenGLShaderProgram>();
    m_program->addShaderFromSourceCode(QOpenGLShader::Vertex, shaderSource(vertexShader, m_core, true));
    m_program->addShaderFromSourceCode(QOpenGLShader::Fragment, shaderSource(fragmentShader, m_core, false));
    m_program->bindAttributeLocation("position", 0);
    m_program->bindAttributeLocation("normal", 1);
    m_program->link();
    // Looked up once: a frame sets them a thousand times.
    m_uniforms.colour = m_program->uniformLocation("colour");
    m_uniforms.hasNormals = m_program->uniformLocation("hasNormals");
    m_uniforms.highlight = m_program->uniformLocation("highlight");
    m_uniforms.lightDirection = m_program->uniformLocation("lightDirection");
    m_uniforms.lit = m_program->uniformLocation("lit");
    m_uniforms.model = m_program->uniformLocation("model");
    m_uniforms.tint = m_program->uniformLocation("tint");
    m_uniforms.tintAmount = m_program->uniformLocation("tintAmount");
    m_uniforms.viewProjection = m_program->uniformLocation("viewProjection");

    m_cubeArray = std::make_unique<QOpenGLVertexArrayObject>();
    m_cubeArray->create();
    m_cubeArray->bind();
    m_cubeVertices = std::make_unique<QOpenGLBuffer>(QOpenGLBuffer::VertexBuffer);
    m_cubeVertices->create();
    m_cubeVertices->bind();
    m_cubeVertices->allocate(cubeCorners, sizeof cubeCorners);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
    glDisableVertexAttribArray(1);
    glVertexAttrib3f(1, 0, 0, 1);
    m_cubeTriangles = std::make_unique<QOpenGLBuffer>(QOpenGLBuffer::IndexBuffer);
    m_cubeTriangles->create();
    m_cubeTriangles->bind();
    m_cubeTriangles->allocate(cubeFaces, sizeof cubeFaces);
    m_cubeArray->release();
    m_cubeEdges = std::make_unique<QOpenGLBuffer>(QOpenGLBuffer::IndexBuffer);
    m_cubeEdges->create();
    m_cubeEdges->bind();
    m_cubeEdges->allocate(cubeEdgeIndices, sizeof cubeEdgeIndices);
    m_cubeEdges->release();
}

void ksSceneView::resizeGL(int, int) {}

namespace {

// Below this many triangles a coarser copy saves less than a draw costs.
constexpr std::size_t SimplifyFrom = 256;
// Largest error of a coarser copy on screen, in pixels (the simplifier's
// estimate of how far the surface moves): a part drawn small keeps its
// outline to about a pixel with a fraction of its triangles, and Mesa's
// software renderer spends its time per triangle far more than per pixel.
// While the camera moves, a coarser look buys a quicker frame.
constexpr float ErrorPixels = 1.f;
constexpr float MovingErrorPixels = 4.f;
// A mesh without normals is drawn flat, and a copy's wider facets would show
// on a part drawn large: a copy keeps at least a triangle for each square of
// this many pixels a side (times the pixels of error allowed) of the square
// around the part on screen.
constexpr float FacetPixels = 8.f;

} // namespace

void ksSceneView::upload(Mesh& mesh, const ksMeshLevels::Level& copy)
{
    const std::vector<float>& vertices = copy.vertices;
    const std::vector<std::uint32_t>& indices = copy.indices;
    auto level = std::make_unique<Mesh::Level>();
    level->error = copy.error;
    level->array.create();
    level->array.bind();
    level->vertices.create();
    level->vertices.bind();
    level->vertices.allocate(vertices.data(), int(vertices.size() * sizeof(float)));
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 6 * sizeof(float), nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, 6 * sizeof(float), reinterpret_cast<void*>(3 * sizeof(float)));
    level->indices.create();
    level->indices.bind();
    level->indices.allocate(indices.data(), int(indices.size() * sizeof(std::uint32_t)));
    level->indexCount = int(indices.size());
    level->array.release();
    mesh.levels.push_back(std::move(level));
}

ksSceneView::Mesh* ksSceneView::meshFor(const ksSceneDrawList::Item& item)
{
    if (Mesh* mesh = m_meshes.value(item.geometryId))
        return mesh;
    const osg::Geometry& geometry = *item.geometry;
    const std::vector<osg::Vec3f>& positions = geometry.getPositions();
    const std::vector<osg::Vec3f>& normals = geometry.getNormals();
    auto* mesh = new Mesh;
    mesh->hasNormals = normals.size() == positions.size() && !normals.empty();
    std::vector<float> interleaved;
    interleaved.reserve(positions.size() * 6);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const osg::Vec3f& p = positions[i];
        const osg::Vec3f n = mesh->hasNormals ? normals[i] : osg::Vec3f(0, 0, 1);
        interleaved.insert(interleaved.end(), {p[0], p[1], p[2], n[0], n[1], n[2]});
    }
    // Indices that point past the positions would read outside the buffer.
    std::vector<std::uint32_t> indices;
    indices.reserve(geometry.getIndices().size());
    for (osg::UInt32 index : geometry.getIndices())
        indices.push_back(index < positions.size() ? index : 0);
    mesh->facing = ksMeshLevels::closedFacing(interleaved, indices);
    for (const ksMeshLevels::Level& level : ksMeshLevels::build(interleaved, indices, SimplifyFrom))
        upload(*mesh, level);
    m_meshes.insert(item.geometryId, mesh);
    return mesh;
}

void ksSceneView::releaseMeshes()
{
    qDeleteAll(m_meshes);
    m_meshes.clear();
}

const ksSceneView::Look* ksSceneView::lookFor(const QVector<quint32>& path) const
{
    if (m_looks.isEmpty())
        return nullptr;
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        const auto look = m_looks.constFind(*it);
        if (look != m_looks.constEnd() && look->tint.isValid())
            return &look.value();
    }
    return nullptr;
}

bool ksSceneView::isSelected(const QVector<quint32>& path) const
{
    if (m_selection.isEmpty())
        return false;
    return std::any_of(path.begin(), path.end(), [this](quint32 id) { return m_selection.contains(id); });
}

void ksSceneView::paintGL()
{
    if (m_dirty)
        rebuild();
    m_pickImage = QImage();
    draw(false);
}

void ksSceneView::draw(bool pick)
{
    const QColor background(pick ? QColor(Qt::black) : QColor(38, 41, 46));
    glClearColor(background.redF(), background.greenF(), background.blueF(), 1.f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
    if (!m_program || !m_program->isLinked())
        return;
    m_program->bind();
    const QMatrix4x4 viewProjection = this->viewProjection();
    m_program->setUniformValue(m_uniforms.viewProjection, viewProjection);
    m_program->setUniformValue(m_uniforms.lightDirection, QVector3D(0.35f, 0.8f, 0.5f).normalized());
    m_program->setUniformValue(m_uniforms.lit, !pick);
    m_program->setUniformValue(m_uniforms.tintAmount, 0.f);
    m_program->setUniformValue(m_uniforms.highlight, 0.f);

    m_drawnItems = 0;
    m_culledItems = 0;
    m_drawnTriangles = 0;
    // Nearest first, so that the depth test spares the shading of what lies
    // behind; the distance also sizes each item on screen.
    const QVector<ksSceneDrawList::Item>& items = m_drawList.items();
    const QVector4D depthRow = viewProjection.row(3);
    m_order.clear();
    for (int i = 0; i < items.size(); ++i) {
        if (ksSceneDrawList::isCulled(items[i].worldBounds, viewProjection)) {
            ++m_culledItems;
            continue;
        }
        m_order.emplace_back(QVector4D::dotProduct(depthRow, QVector4D(items[i].worldBounds.centre(), 1.f)), i);
    }
    std::sort(m_order.begin(), m_order.end());
    // Pixels per unit of length at distance 1, for a vertical field of 45 degrees.
    const float pixelsPerUnit = float(height() * devicePixelRatioF()) * 0.5f / std::tan(qDegreesToRadians(22.5f));
    const float nearest = std::max(m_distance * 0.01f, 1e-4f);
    const float errorPixels = m_moving ? MovingErrorPixels : ErrorPixels;
    // Back faces of closed meshes are culled: the renderer then sets up and
    // rasterises only the half that faces the camera.
    bool culling = false;
    GLenum frontFace = GL_CCW;
    for (const auto& [depth, i] : m_order) {
        const ksSceneDrawList::Item& item = items[i];
        Mesh* mesh = meshFor(item);
        if (mesh->indexCount() == 0)
            continue;
        // The pick pass draws every mesh whole: a pixel names what is really there.
        // Elsewhere the error allowed is that of a pixel at the item's nearest
        // point, in the mesh's own units.
        const float radius = item.worldBounds.radius();
        const float worldUnitsPerPixel = std::max(depth - radius, nearest) / pixelsPerUnit;
        const float facets = 2.f * radius / (worldUnitsPerPixel * FacetPixels * errorPixels);
        Mesh::Level& level = pick ? *mesh->levels.front()
                                  : mesh->levelFor(errorPixels * worldUnitsPerPixel / item.scale, facets * facets);
        if (culling != (mesh->facing != 0)) {
            culling = !culling;
            culling ? glEnable(GL_CULL_FACE) : glDisable(GL_CULL_FACE);
        }
        // A mirroring transform turns the winding round.
        const GLenum front = (mesh->facing > 0) != item.mirrored ? GL_CCW : GL_CW;
        if (culling && front != frontFace) {
            frontFace = front;
            glFrontFace(frontFace);
        }
        m_program->setUniformValue(m_uniforms.model, item.world);
        if (pick) {
            m_program->setUniformValue(m_uniforms.colour, pickColour(i));
        } else {
            const Look* look = lookFor(item.path);
            m_program->setUniformValue(m_uniforms.colour, item.colour);
            m_program->setUniformValue(m_uniforms.tint, look ? QVector3D(look->tint.redF(), look->tint.greenF(), look->tint.blueF())
                                                    : QVector3D());
            m_program->setUniformValue(m_uniforms.tintAmount, look ? 0.75f : 0.f);
            m_program->setUniformValue(m_uniforms.highlight, isSelected(item.path) ? 1.f : 0.f);
            m_program->setUniformValue(m_uniforms.hasNormals, mesh->hasNormals);
        }
        level.array.bind();
        glDrawElements(GL_TRIANGLES, level.indexCount, GL_UNSIGNED_INT, nullptr);
        level.array.release();
        ++m_drawnItems;
        m_drawnTriangles += level.indexCount / 3;
    }

    glDisable(GL_CULL_FACE);
    glFrontFace(GL_CCW);

    // References without content: solid boxes in their state's colour, outlined.
    m_cubeArray->bind();
    m_cubeTriangles->bind();
    m_program->setUniformValue(m_uniforms.hasNormals, false);
    const QVector<ksSceneDrawList::Box>& boxes = m_drawList.boxes();
    for (int b = 0; b < boxes.size(); ++b) {
        const ksSceneDrawList::Box& box = boxes[b];
        if (ksSceneDrawList::isCulled(box.worldBounds, viewProjection))
            continue;
        m_program->setUniformValue(m_uniforms.model, boxMatrix(box.world, box.local));
        const Look* look = lookFor(box.path);
        const QColor colour = look ? look->tint : QColor(128, 132, 140);
        if (pick) {
            m_program->setUniformValue(m_uniforms.colour, pickColour(items.size() + b));
        } else {
            m_program->setUniformValue(m_uniforms.lit, true);
            m_program->setUniformValue(m_uniforms.colour, QVector3D(colour.redF(), colour.greenF(), colour.blueF()));
            m_program->setUniformValue(m_uniforms.tintAmount, 0.f);
            m_program->setUniformValue(m_uniforms.highlight, isSelected(box.path) ? 1.f : 0.f);
        }
        glDrawElements(GL_TRIANGLES, int(sizeof cubeFaces / sizeof cubeFaces[0]), GL_UNSIGNED_SHORT, nullptr);
        if (!pick) {
            m_program->setUniformValue(m_uniforms.lit, false);
            m_program->setUniformValue(m_uniforms.colour, QVector3D(0.1f, 0.1f, 0.1f));
            m_cubeEdges->bind();
            glDrawElements(GL_LINES, int(sizeof cubeEdgeIndices / sizeof cubeEdgeIndices[0]), GL_UNSIGNED_SHORT,
                           nullptr);
            m_cubeTriangles->bind();
        }
    }
    // Edited and not saved: the content's box outlined in the edit colour.
    if (!pick) {
        m_program->setUniformValue(m_uniforms.lit, false);
        m_program->setUniformValue(m_uniforms.colour, QVector3D(1.f, 0.75f, 0.f));
        m_cubeEdges->bind();
        for (auto it = m_looks.constBegin(); it != m_looks.constEnd(); ++it) {
            const auto world = m_drawList.referenceWorlds().constFind(it.key());
            if (!it->edited || world == m_drawList.referenceWorlds().constEnd() || !m_knownBounds.contains(it.key()))
                continue;
            m_program->setUniformValue(m_uniforms.model, boxMatrix(world.value(), m_knownBounds.value(it.key())));
            glDrawElements(GL_LINES, int(sizeof cubeEdgeIndices / sizeof cubeEdgeIndices[0]), GL_UNSIGNED_SHORT,
                           nullptr);
        }
    }
    m_cubeArray->release();
    m_program->release();
}

quint32 ksSceneView::pickAt(const QPoint& position)
{
    if (!isValid())
        return 0;
    // One pick pass per drawn frame; the points of a frame read its image.
    if (m_pickImage.isNull()) {
        makeCurrent();
        if (m_dirty)
            rebuild();
        const qreal ratio = devicePixelRatioF();
        const QSize size(std::max(1, int(width() * ratio)), std::max(1, int(height() * ratio)));
        QOpenGLFramebufferObject target(size, QOpenGLFramebufferObject::Depth);
        target.bind();
        glViewport(0, 0, size.width(), size.height());
        draw(true);
        m_pickImage = target.toImage(false);
        target.release();
        doneCurrent();
    }
    const QPoint pixel = position * devicePixelRatioF();
    if (!m_pickImage.rect().contains(pixel))
        return 0;
    const QRgb rgb = m_pickImage.pixel(pixel);
    const int index = (qRed(rgb) | (qGreen(rgb) << 8) | (qBlue(rgb) << 16)) - 1;
    const QVector<ksSceneDrawList::Item>& items = m_drawList.items();
    if (index < 0)
        return 0;
    if (index < items.size())
        return items[index].referenceNodeId ? items[index].referenceNodeId : items[index].path.last();
    const int box = index - items.size();
    return box < m_drawList.boxes().size() ? m_drawList.boxes()[box].referenceNodeId : 0;
}

double ksSceneView::renderFrame()
{
    if (!isValid())
        return 0;
    makeCurrent();
    QElapsedTimer timer;
    timer.start();
    glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
    glViewport(0, 0, int(width() * devicePixelRatioF()), int(height() * devicePixelRatioF()));
    paintGL();
    glFinish();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    doneCurrent();
    return ms;
}

void ksSceneView::mousePressEvent(QMouseEvent* event)
{
    m_pressed = m_last = event->pos();
    m_dragged = false;
}

void ksSceneView::mouseMoveEvent(QMouseEvent* event)
{
    m_pickImage = QImage();
    const QPoint delta = event->pos() - m_last;
    m_last = event->pos();
    if ((event->pos() - m_pressed).manhattanLength() > 3)
        m_dragged = true;
    if (event->buttons() & (Qt::LeftButton | Qt::RightButton | Qt::MiddleButton)) {
        m_cameraMoved = true;
        if (m_dragged)
            startMoving();
    }
    if (event->buttons() & Qt::LeftButton) {
        m_yaw -= float(delta.x()) * 0.4f;
        m_pitch = std::clamp(m_pitch + float(delta.y()) * 0.4f, -89.f, 89.f);
    } else if (event->buttons() & (Qt::RightButton | Qt::MiddleButton)) {
        // Along the screen's axes, at the target's depth.
        const float yaw = qDegreesToRadians(m_yaw);
        const QVector3D right(std::cos(yaw), 0, -std::sin(yaw));
        const QVector3D forward = (QVector3D(std::sin(yaw), 0, std::cos(yaw))).normalized();
        const QVector3D up = QVector3D::crossProduct(forward, right).normalized();
        const float scale = m_distance * 0.0015f;
        m_target += (-float(delta.x()) * right + float(delta.y()) * up) * scale;
    }
    update();
}

void ksSceneView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragged && event->button() == Qt::LeftButton)
        emit picked(pickAt(event->pos()));
    if (m_moving)
        stopMoving();
}

void ksSceneView::wheelEvent(QWheelEvent* event)
{
    m_pickImage = QImage();
    m_cameraMoved = true;
    startMoving();
    m_distance *= std::pow(0.999f, float(event->angleDelta().y()));
    m_distance = std::max(m_distance, 1e-3f);
    update();
}

void ksSceneView::startMoving()
{
    m_moving = true;
    m_rest->start();
}

// Back to the copies of a camera at rest.
void ksSceneView::stopMoving()
{
    m_rest->stop();
    m_moving = false;
    update();
}
