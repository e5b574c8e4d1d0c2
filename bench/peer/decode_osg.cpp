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

#include <memory>
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

} // namespace

int main(int argc, char** argv)
{
    peertree::Command command;
    if (!peertree::parseCommand(argc, argv, command))
        return 2;
    osgDB::ReaderWriter* rw = binaryFormat();
    if (command.write) {
        osg::ref_ptr<osg::Node> root = command.geometry ? buildGeometryScene() : buildTree();
        if (!rw->writeNode(*root, command.path).success()) {
            std::fprintf(stderr, "writing %s failed\n", command.path.c_str());
            return 1;
        }
        return 0;
    }
    const std::vector<char> file = peertree::readFile(command.path);
    const std::string bytes(file.begin(), file.end());
    osg::ref_ptr<osg::Node> root;
    // Each decode reads a stream made before its clock starts (and, for the
    // first, before the peak is reset): the stream's copy of the bytes is
    // the input, as the other side's buffer is.
    auto in = std::make_unique<std::istringstream>(bytes);
    return peertree::measureReads(
        "osg", command, file.size(),
        [&] {
            const double ms = peertree::milliseconds([&] { root = rw->readNode(*in).getNode(); });
            if (!root)
                std::fprintf(stderr, "reading %s failed\n", command.path.c_str());
            return root ? ms : -1.0;
        },
        [&] {
            root = nullptr;
            in = std::make_unique<std::istringstream>(bytes);
        });
}
