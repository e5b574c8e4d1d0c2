// Licensed under the MIT licence; see LICENSE.
// Feeds untrusted bytes to the ".osb" reader and the scene block decoder.
// The first input byte picks the mode:
//   0: the input is a whole file;
//   1: the input is a bare scene block;
//   2: the input patches a valid file of a rich scene (pairs of a 16-bit
//      offset and a byte to XOR in), which reaches the deep checks quickly
//      without a seed corpus.
// Whatever reads must write back, read again and write the same bytes.
#include "scenegraph/SceneDecoder.h"
#include "scenegraph/SceneFileHandler.h"
#include "scenegraph/SceneGraph.h"

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace osg;

namespace {

std::vector<UInt8> makeValidFile()
{
    NodeRefPtr root = Node::create();
    root->setCore(Group::create());
    setName(root, "Root");
    ExtReferenceRefPtr ext = ExtReference::create();
    FileReferenceRefPtr smart = FileReference::create();
    smart->setPath("/refs/a.osb");
    ext->setSmartFile(smart);
    NodeRefPtr a = Node::create(), b = Node::create(), geoNode = Node::create();
    a->setCore(ext);
    b->setCore(ext);
    UBRDFMaterialRefPtr brdf = UBRDFMaterial::create();
    brdf->setEnvironment(UEnvironmentMaterial::create());
    GeometryRefPtr geo = Geometry::create();
    geo->setPositions({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    geo->setIndices({0, 1, 2});
    geo->setMaterial(brdf);
    geoNode->setCore(geo);
    FileInfoRefPtr info = FileInfo::create();
    info->setPath("x.stp");
    geoNode->addAttachment(info, 1);
    a->addChild(geoNode);
    root->addChild(a);
    root->addChild(b);
    return SceneFileHandler::the().writeToMemory(root);
}

void checkRoundTrip(const NodePtr& read)
{
    const std::vector<UInt8> once = SceneFileHandler::the().writeToMemory(read);
    NodeRefPtr again = SceneFileHandler::readScene(once.data(), once.size()).node;
    if (!again)
        std::abort(); // the reader refused what the writer wrote
    if (SceneFileHandler::the().writeToMemory(again) != once)
        std::abort(); // not stable under a second round trip
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const UInt8* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const UInt8 mode = data[0] % 3;
    ++data;
    --size;
    if (mode == 0) {
        if (NodeRefPtr read = SceneFileHandler::readScene(data, size).node)
            checkRoundTrip(read);
    } else if (mode == 1) {
        SceneDecoder decoder;
        decoder.decode(data, size);
    } else {
        static const std::vector<UInt8> valid = makeValidFile();
        std::vector<UInt8> file = valid;
        for (std::size_t i = 0; i + 2 < size; i += 3) {
            UInt16 offset = 0;
            std::memcpy(&offset, data + i, 2);
            file[offset % file.size()] ^= data[i + 2];
        }
        if (size % 3 == 1) // a trailing odd byte truncates the file
            file.resize(file.size() - (data[size - 1] % file.size()));
        if (NodeRefPtr read = SceneFileHandler::readScene(file.data(), file.size()).node)
            checkRoundTrip(read);
    }
    return 0;
}
