// Licensed under the MIT licence; see LICENSE.
// Our side of the decode comparison with OpenSceneGraph (see
// compare_decode.sh): `write PATH [geometry]` builds the tree of PeerTree.h
// and writes it as ".osb"; `read PATH` reads the file into memory and times
// its decode from there (SceneFileHandler::readFromMemory), with the peak
// memory of the first decode.
#include "PeerTree.h"

#include "scenegraph/SceneFileHandler.h"
#include "scenegraph/SceneGraph.h"

using namespace osg;

namespace {

GeometryRefPtr makeGeometry(const peertree::Mesh& mesh, const MaterialRefPtr& material)
{
    std::vector<Vec3f> positions(mesh.positions.size() / 3), normals(mesh.normals.size() / 3);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        positions[i] = Vec3f(mesh.positions[3 * i], mesh.positions[3 * i + 1], mesh.positions[3 * i + 2]);
        normals[i] = Vec3f(mesh.normals[3 * i], mesh.normals[3 * i + 1], mesh.normals[3 * i + 2]);
    }
    GeometryRefPtr geometry = Geometry::create();
    geometry->setPositions(std::move(positions));
    geometry->setNormals(std::move(normals));
    geometry->setIndices(std::vector<UInt32>(mesh.indices.begin(), mesh.indices.end()));
    geometry->setMaterial(material);
    return geometry;
}

NodeRefPtr makeNode(NodeCoreRefPtr core, const std::string& name)
{
    NodeRefPtr node = Node::create();
    node->setCore(std::move(core));
    if (!name.empty())
        setName(node.get(), name);
    return node;
}

Transform3DRefPtr makeTransform(int assembly)
{
    float x = 0, y = 0;
    peertree::assemblyOffset(assembly, x, y);
    Transform3DRefPtr transform = Transform3D::create();
    transform->setMatrix(Matrix::translation(Vec3f(x, y, 0)));
    return transform;
}

NodeRefPtr buildTree()
{
    NodeRefPtr root = makeNode(Group::create(), "Root");
    MaterialRefPtr material = UBRDFMaterial::create();
    std::vector<GeometryRefPtr> meshes;
    for (int m = 0; m < peertree::Meshes; ++m)
        meshes.push_back(makeGeometry(peertree::boxMesh(m), material));
    std::vector<NodePtr> assemblies;
    for (int a = 0; a < peertree::Assemblies; ++a) {
        NodeRefPtr assembly = makeNode(makeTransform(a), "Assembly" + std::to_string(a));
        root->addChild(assembly);
        assemblies.push_back(assembly.get());
    }
    for (int p = 0; p < peertree::Parts; ++p)
        assemblies[std::size_t(p % peertree::Assemblies)]->addChild(
            makeNode(meshes[std::size_t(p % peertree::Meshes)], "Part" + std::to_string(p)));
    return root;
}

NodeRefPtr buildGeometryScene()
{
    NodeRefPtr root = makeNode(Group::create(), "Root");
    MaterialRefPtr material = UBRDFMaterial::create();
    for (int part = 0; part < peertree::GeometryParts; ++part) {
        NodeRefPtr placed = makeNode(makeTransform(part), "");
        placed->addChild(makeNode(makeGeometry(peertree::surfaceMesh(part), material), ""));
        root->addChild(placed);
    }
    return root;
}

} // namespace

int main(int argc, char** argv)
{
    peertree::Command command;
    if (!peertree::parseCommand(argc, argv, command))
        return 2;
    if (command.write) {
        NodeRefPtr root = command.geometry ? buildGeometryScene() : buildTree();
        if (!SceneFileHandler::the().write(root, command.path)) {
            std::fprintf(stderr, "%s\n", SceneFileHandler::the().getLastError().c_str());
            return 1;
        }
        return 0;
    }
    const std::vector<char> bytes = peertree::readFile(command.path);
    NodeRefPtr root;
    return peertree::measureReads(
        "talvik", command, bytes.size(),
        [&] {
            SceneReadResult read;
            const double ms = peertree::milliseconds([&] {
                read = SceneFileHandler::readScene(reinterpret_cast<const UInt8*>(bytes.data()), bytes.size());
            });
            root = read.node;
            if (!root)
                std::fprintf(stderr, "%s\n", read.message.c_str());
            return root ? ms : -1.0;
        },
        [&] { root.reset(); });
}
