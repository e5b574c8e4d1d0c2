// Licensed under the MIT licence; see LICENSE.
// The 3D view on a real display with Mesa's OpenGL (run under Xvfb): what
// its pixels show of the references' states and the selection, and what a
// click picks.
//
//   root
//   ├── body   (source reference, a box at x = -3)
//   └── wheel  (source reference, a box at x = +3; later unloaded, then its file deleted)
//
// and, for the coarser copies, a view of one finely meshed part alone.
#include "EditorTestSupport.h"

#include "ksEditorWindow.h"
#include "ksReferenceItemModel.h"
#include "ksSceneView.h"

#include "notification/ksStyle.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/Geometry.h"
#include "scenegraph/Node.h"
#include "tree/ksTreeService.h"

#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QTreeView>
#include <QWheelEvent>

#include <cmath>

using namespace editortest;

namespace {

void moveTo(const ksdReferenceNode& reference, float x)
{
    const osg::ExtReferencePtr core =
        osg::ExtReferencePtr::dcast(ksTypeConverter::convertNode(reference)->getCore());
    osg::beginEditCP(core, osg::Transform3D::getCombinedTransformAttributesMask());
    core->setTranslation(osg::Vec3f(x, 0, 0));
    osg::endEditCP(core, osg::Transform3D::getCombinedTransformAttributesMask());
}

// Pixels whose hue is the colour's (within 12 degrees) and clearly coloured:
// shading changes their lightness, not their hue.
int pixelsOfHue(const QImage& image, const QColor& colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            const int difference = std::abs(pixel.hslHue() - colour.hslHue());
            if (pixel.hslSaturationF() > 0.3 && pixel.lightnessF() > 0.1 && std::min(difference, 360 - difference) <= 12)
                ++count;
        }
    return count;
}

// The first point (on a coarse grid) where the view shows this node.
QPoint findPicked(ksSceneView* view, quint32 nodeId)
{
    for (int y = 4; y < view->height(); y += 8)
        for (int x = 4; x < view->width(); x += 8)
            if (view->pickAt(QPoint(x, y)) == nodeId)
                return QPoint(x, y);
    return QPoint(-1, -1);
}

// A node whose core is half a cylinder of radius 1 in 40 x 40 quads: 3,200
// triangles, far more than it needs on screen.
osg::NodeRefPtr fineMesh()
{
    constexpr int Steps = 40;
    std::vector<osg::Vec3f> positions;
    std::vector<osg::UInt32> indices;
    for (int y = 0; y <= Steps; ++y)
        for (int x = 0; x <= Steps; ++x) {
            const float angle = float(M_PI) * float(x) / float(Steps);
            positions.emplace_back(std::cos(angle), 2.f * float(y) / float(Steps), std::sin(angle));
        }
    for (int y = 0; y < Steps; ++y)
        for (int x = 0; x < Steps; ++x) {
            const osg::UInt32 a = osg::UInt32(y * (Steps + 1) + x);
            const osg::UInt32 d = a + Steps + 1;
            indices.insert(indices.end(), {a, a + 1, d, a + 1, d + 1, d});
        }
    osg::GeometryRefPtr geometry = osg::Geometry::create();
    geometry->setPositions(std::move(positions));
    geometry->setIndices(std::move(indices));
    osg::NodeRefPtr node = osg::Node::create();
    osg::beginEditCP(node, osg::Node::CoreFieldMask);
    node->setCore(geometry);
    osg::endEditCP(node, osg::Node::CoreFieldMask);
    return node;
}

void turnWheel(ksSceneView* view, int degrees)
{
    const QPoint centre(view->width() / 2, view->height() / 2);
    QWheelEvent event(centre, view->mapToGlobal(centre), QPoint(), QPoint(0, degrees * 8), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view, &event);
}

} // namespace

class SceneViewTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X display with OpenGL; runs under xvfb-run");
        freshScene();
    }

    void statesSelectionAndPickingShowInThePixels()
    {
        QTemporaryDir dir;
        const QString wheelFile = writeMesh(dir.filePath("wheel.obj"));
        const ksdReferenceNode body = importSource(writeMesh(dir.filePath("body.obj")));
        ksdReferenceNode wheel = importSource(wheelFile);
        moveTo(body, -3);
        moveTo(wheel, 3);
        ksEditorWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        ksSceneView* view = window.sceneView();
        view->frameAll();
        QVERIFY(view->isValid());
        QImage plain = view->grabFramebuffer();
        QCOMPARE(view->drawnItemCount(), 2);
        QCOMPARE(view->uploadedMeshCount(), 2);

        // A click on the wheel selects it in the tree and in the host.
        const QPoint onWheel = findPicked(view, wheel.getObjectId());
        QVERIFY(onWheel.x() >= 0);
        QCOMPARE(view->pickAt(QPoint(1, 1)), 0u); // the background
        QTest::mouseClick(view, Qt::LeftButton, {}, onWheel);
        ksTreeService* tree = ksKernelServiceFactory::the().get<ksTreeService>();
        QTRY_COMPARE(tree->getSelection(), QList<uint>({wheel.getObjectId()}));
        QCOMPARE(window.selectedReferences(), QList<ksdReferenceNode>({wheel}));

        // Selected in the tree: the body's content is highlighted.
        const QColor highlight(255, 217, 64);
        const int highlightedBefore = pixelsOfHue(plain, highlight);
        window.selectNodes({body.getObjectId()});
        QTRY_COMPARE(view->selection(), QSet<quint32>({body.getObjectId()}));
        QTRY_VERIFY(pixelsOfHue(view->grabFramebuffer(), highlight) > highlightedBefore + 200);

        // Unloaded: the wheel becomes its box; its file gone, the box turns
        // the module's missing colour.
        wheel.unload();
        QTRY_COMPARE(cell(window.model(), "wheel", ksReferenceItemModel::Loaded), QString("no"));
        QTRY_COMPARE(view->drawList().boxes().size(), 1);
        QVERIFY(QFile::remove(wheelFile));
        QTRY_COMPARE_WITH_TIMEOUT(cell(window.model(), "wheel", ksReferenceItemModel::SourceState),
                                  QString("missing"), 5000);
        const QColor missing = ksStyle::getReferenceMissingColor();
        QTRY_VERIFY_WITH_TIMEOUT(pixelsOfHue(view->grabFramebuffer(), missing) > 200, 3000);
        QVERIFY2(findPicked(view, wheel.getObjectId()).x() >= 0, "the box picks as its reference");
    }

    void aPartDrawnSmallerIsDrawnFromACoarserCopy()
    {
        const osg::NodeRefPtr root = fineMesh();
        ksSceneView view;
        view.resize(640, 480);
        view.setRoot(root);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTRY_VERIFY(view.isValid());
        view.frameAll();
        // Drawn large: whole, though a copy would keep the outline.
        view.renderFrame();
        QCOMPARE(view.drawnTriangleCount(), qint64(3200));

        // Zoomed out, while the wheel turns, and once the camera rests.
        turnWheel(&view, -270);
        view.renderFrame();
        const qint64 moving = view.drawnTriangleCount();
        QTRY_VERIFY((view.renderFrame(), view.drawnTriangleCount() != moving));
        const qint64 resting = view.drawnTriangleCount();
        QVERIFY2(moving < resting && resting < 200,
                 qPrintable(QStringLiteral("%1 moving, %2 resting").arg(moving).arg(resting)));

        // The pick pass draws the mesh whole.
        QCOMPARE(view.pickAt(QPoint(320, 240)), root.getFieldContainerId());
        QCOMPARE(view.drawnTriangleCount(), qint64(3200));
    }
};

QObject* makeSceneViewTest()
{
    return new SceneViewTest;
}

#include "SceneViewTest.moc"
