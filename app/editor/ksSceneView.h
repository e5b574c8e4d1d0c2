// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "ksMeshLevels.h"
#include "ksSceneDrawList.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QPoint>
#include <QSet>
#include <QTimer>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QOpenGLBuffer;
class QOpenGLShaderProgram;
class QOpenGLVertexArrayObject;

// The 3D view of the Reference Editor: draws the host's scene graph (each
// geometry with its transform and diffuse colour, one light, its own normals
// or flat ones), references without content as their bounding box, missing
// and outdated references tinted with the module's status colours, edited
// ones outlined, and the selection highlighted. Geometry is uploaded once
// per core (clones share it), with coarser copies for parts drawn small
// (ksMeshLevels); what lies outside the view is culled by its bounds.
// OpenGL 3.3 core, or 2.1 where that is all the driver offers.
//
// Left drag orbits, right (or middle) drag pans, the wheel zooms; a click
// picks the reference drawn under the pointer.
class ksSceneView : public QOpenGLWidget, protected QOpenGLFunctions
{
    Q_OBJECT

public:
    struct Look
    {
        // Invalid: drawn in its own colours.
        QColor tint;
        bool edited = false;
    };
    // How the reference with this node id is shown; asked again on looksChanged().
    using LookProvider = std::function<Look(quint32 referenceNodeId)>;

    explicit ksSceneView(QWidget* parent = nullptr);
    ~ksSceneView() override;

    // Draws the tree below `root` (the host's live scene when never set).
    void setRoot(const osg::NodePtr& root);
    void setLookProvider(LookProvider provider);
    void setSelection(const QSet<quint32>& nodeIds);
    const QSet<quint32>& selection() const { return m_selection; }

    // The scene's tree changed: what is drawn is taken again at the next frame.
    void sceneChanged();
    // States or edit marks changed: the provider is asked again.
    void looksChanged();
    void frameAll();
    void frameSelection();

    // The reference (else the node) drawn at this point of the widget, or 0.
    quint32 pickAt(const QPoint& position);
    // Renders one frame now and waits for it; returns its milliseconds.
    double renderFrame();

    // What the last frame did, for tests and measurements.
    int drawnItemCount() const { return m_drawnItems; }
    int culledItemCount() const { return m_culledItems; }
    // Triangles of the meshes drawn, after the choice of coarser copies.
    qint64 drawnTriangleCount() const { return m_drawnTriangles; }
    int uploadedMeshCount() const { return m_meshes.size(); }
    const ksSceneDrawList& drawList() const { return m_drawList; }

signals:
    // A click picked this node (0: nothing under the pointer).
    void picked(quint32 nodeId);

protected:
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    struct Mesh;

    void rebuild();
    Mesh* meshFor(const ksSceneDrawList::Item& item);
    void upload(Mesh& mesh, const ksMeshLevels::Level& level);
    void releaseMeshes();
    QMatrix4x4 viewProjection() const;
    void frame(const ksSceneDrawList::Bounds& bounds);
    void startMoving();
    void stopMoving();
    // The look of the innermost reference on the path that has one to show.
    const Look* lookFor(const QVector<quint32>& path) const;
    bool isSelected(const QVector<quint32>& path) const;
    // Draws everything; in pick mode each item in a colour of its index.
    void draw(bool pick);

    osg::NodePtr m_root;
    bool m_rootSet = false;
    LookProvider m_lookProvider;
    QHash<quint32, Look> m_looks;
    QSet<quint32> m_selection;
    ksSceneDrawList m_drawList;
    QHash<quint32, ksSceneDrawList::Bounds> m_knownBounds;
    bool m_dirty = true;
    bool m_cameraMoved = false;
    // The last pick pass, until the next frame.
    QImage m_pickImage;

    std::unique_ptr<QOpenGLShaderProgram> m_program;
    struct Uniforms
    {
        int colour = -1, hasNormals = -1, highlight = -1, lightDirection = -1, lit = -1, model = -1, tint = -1,
            tintAmount = -1, viewProjection = -1;
    } m_uniforms;
    QHash<quint32, Mesh*> m_meshes;
    std::unique_ptr<QOpenGLVertexArrayObject> m_cubeArray;
    std::unique_ptr<QOpenGLBuffer> m_cubeVertices;
    std::unique_ptr<QOpenGLBuffer> m_cubeTriangles;
    std::unique_ptr<QOpenGLBuffer> m_cubeEdges;
    bool m_core = true;

    QVector3D m_target;
    float m_distance = 10.f;
    float m_yaw = 35.f;
    float m_pitch = 25.f;
    QPoint m_pressed;
    QPoint m_last;
    bool m_dragged = false;
    // The camera is being moved: coarser copies until it rests.
    bool m_moving = false;
    QTimer* m_rest = nullptr;

    int m_drawnItems = 0;
    int m_culledItems = 0;
    qint64 m_drawnTriangles = 0;
    // The items of a frame that pass culling, by distance, with their index.
    std::vector<std::pair<float, int>> m_order;
};
