// Licensed under the MIT licence; see LICENSE.
// OpenSceneGraph's side of the decode comparison (see compare_decode.sh):
// the same tree as decode_talvik.cpp, built from OpenSceneGraph's own
// classes and written in its binary format (".osgb"); `read PATH` times the
// decode of the file from memory (an istream over bytes already read) with
// the peak memory of the first decode. Node for node: a transform is a
// MatrixTransform, a part a Geode over a shared Geometry, names are the
// nodes' names, and one StateSet with one Material is shared by every mesh.
#include "PeerTree.h"

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Material>
#include <osg/MatrixTransform>
#include <osgDB/ReaderWriter>
#include <osgDB/Registry>

#include <algorithm>
#include <chrono>
#include <sstream>

namespace {

osg::ref_ptr<osg::Geometry> makeGeometry(const peertree::Mesh& mesh, osg::StateSet* state)
{
    osg::ref_ptr<osg::Vec3Array> positions = new osg::Vec3Array(unsigned(mesh.positions.size() / 3));
    osg::ref_ptr<osg::Vec3Array> normals = new osg::Vec3Array(unsigned(mesh.normals.size() / 3));
    for (std::size_t i = 0; i < positions->size(); ++i) {
        (*positions)[i].set(mesh.positions[3 * i], mesh.positions[3 * i + 1], mesh.positions[3 * i + 2]);
        (*normals)[i].set(mesh.normals[3 * i], mesh.normals[3 * i + 1], mesh.normals[3 * i + 2]);
    }
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setVertexArray(positions.get());
    geometry->setNormalArray(normals.get(), osg::Array::BIND_PER_VERTEX);
    geometry->addPrimitiveSet(
        new osg::DrawElementsUInt(GL_TRIANGLES, unsigned(mesh.indices.size()), mesh.indices.data()));
    geometry->setStateSet(state);
    return geometry;
}

osg::ref_ptr<osg::StateSet> makeState()
{
    osg::ref_ptr<osg::StateSet> state = new osg::StateSet;
    state->setAttribute(new osg::Material);
    return state;
}

osg::ref_ptr<osg::MatrixTransform> makeTransform(int assembly)
{
    float x = 0, y = 0;
    peertree::assemblyOffset(assembly, x, y);
    return new osg::MatrixTransform(osg::Matrix::translate(x, y, 0));
}

osg::ref_ptr<osg::Node> buildTree()
{
    osg::ref_ptr<osg::Group> root = new osg::Group;
    root->setName("Root");
    osg::ref_ptr<osg::StateSet> state = makeState();
    std::vector<osg::ref_ptr<osg::Geometry>> meshes;
    for (int m = 0; m < peertree::Meshes; ++m)
        meshes.push_back(makeGeometry(peertree::boxMesh(m), state.get()));
    std::vector<osg::Group*> assemblies;
    for (int a = 0; a < peertree::Assemblies; ++a) {
        osg::ref_ptr<osg::MatrixTransform> assembly = makeTransform(a);
        assembly->setName("Assembly" + std::to_string(a));
        root->addChild(assembly.get());
        assemblies.push_back(assembly.get());
    }
    for (int p = 0; p < peertree::Parts; ++p) {
        osg::ref_ptr<osg::Geode> part = new osg::Geode;
        part->setName("Part" + std::to_string(p));
        part->addDrawable(meshes[std::size_t(p % peertree::Meshes)].get());
        assemblies[std::size_t(p % peertree::Assemblies)]->addChild(part.get());
    }
    return root;
}

osg::ref_ptr<osg::Node> buildGeometryScene()
{
    osg::ref_ptr<osg::Group> root = new osg::Group;
    root->setName("Root");
    osg::ref_ptr<osg::StateSet> state = makeState();
    for (int part = 0; part < peertree::GeometryParts; ++part) {
        osg::ref_ptr<osg::MatrixTransform> placed = makeTransform(part);
        osg::ref_ptr<osg::Geode> mesh = new osg::Geode;
        mesh->addDrawable(makeGeometry(peertree::surfaceMesh(part), state.get()));
        placed->addChild(mesh.get());
        root->addChild(placed.get());
    }
    return root;
}

osgDB::ReaderWriter* binaryFormat()
{
    osgDB::ReaderWriter* rw = osgDB::Registry::instance()->getReaderWriterForExtension("osgb");
    if (!rw) {
        std::fprintf(stderr, "OpenSceneGraph has no reader for .osgb (its plug-ins are missing)\n");
        std::exit(1);
    }
    return rw;
}

double millisecondsOf(osg::ref_ptr<osg::Node>& out, osgDB::ReaderWriter* rw, const std::string& bytes)
{
    std::istringstream in(bytes); // made before the clock starts, like the other side's buffer
    const auto start = std::chrono::steady_clock::now();
    out = rw->readNode(in).getNode();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 2 ? argv[1] : "";
    osgDB::ReaderWriter* rw = binaryFormat();
    if (mode == "write") {
        const bool geometry = argc > 3 && std::string(argv[3]) == "geometry";
        osg::ref_ptr<osg::Node> root = geometry ? buildGeometryScene() : buildTree();
        if (!rw->writeNode(*root, argv[2]).success()) {
            std::fprintf(stderr, "writing %s failed\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if (mode != "read") {
        std::fprintf(stderr, "usage: %s write PATH [geometry] | read PATH [decodes]\n", argv[0]);
        return 2;
    }
    const std::vector<char> file = peertree::readFile(argv[2]);
    const std::string bytes(file.begin(), file.end());
    const int decodes = argc > 3 ? std::max(2, std::atoi(argv[3])) : 5;

    osg::ref_ptr<osg::Node> root;
    {
        // The stream's copy of the bytes belongs to the input, not the decode.
        std::istringstream in(bytes);
        const long before = peertree::statusKb("VmRSS");
        peertree::resetPeak();
        const auto start = std::chrono::steady_clock::now();
        root = rw->readNode(in).getNode();
        const double first = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        const long peak = peertree::statusKb("VmHWM") - before;
        if (!root) {
            std::fprintf(stderr, "reading %s failed\n", argv[2]);
            return 1;
        }
        root = nullptr;
        std::vector<double> warm;
        for (int i = 1; i < decodes; ++i) {
            warm.push_back(millisecondsOf(root, rw, bytes));
            root = nullptr;
        }
        std::sort(warm.begin(), warm.end());
        peertree::report("osg", first, peak, warm[warm.size() / 2], file.size());
    }
    return 0;
}
