// Licensed under the MIT licence; see LICENSE.
// ".osb" throughput against the machine's own: a 200 MB geometry scene is
// written (to a temporary file, synced, renamed) and read back, and the same
// number of bytes is written (synced) and read with plain system calls in
// the same run, the two sides taking turns. Both writes make a fresh file:
// the previous one is removed before the clock starts, since freeing its
// blocks is the file system's work, whichever side would pay it. Goals: the
// write at least 0.9 of plain write + fsync, the read at least half of plain
// read. Also the time per container for a scene of 100,000 small containers.
#include "scenegraph/SceneFileHandler.h"
#include "scenegraph/SceneGraph.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace osg;
namespace fs = std::filesystem;

fs::path scratch(const char* name)
{
    return fs::temp_directory_path() / (std::string("osb-bench-") + std::to_string(::getpid()) + "-" + name);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <class F> double seconds(F f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// 50 geometries of 4 MB each: positions, normals and indices.
NodeRefPtr makeGeometryScene()
{
    NodeRefPtr root = Node::create();
    root->setCore(Group::create());
    UBRDFMaterialRefPtr material = UBRDFMaterial::create();
    for (int g = 0; g < 50; ++g) {
        GeometryRefPtr geo = Geometry::create();
        const std::size_t vertices = 150000;
        geo->editPositions().resize(vertices);
        geo->editNormals().resize(vertices);
        for (std::size_t i = 0; i < vertices; ++i) {
            geo->editPositions()[i] = Vec3f(float(i), float(g), float(i % 7));
            geo->editNormals()[i] = Vec3f(0, 0, 1);
        }
        geo->editIndices().resize(100000);
        for (std::size_t i = 0; i < 100000; ++i)
            geo->editIndices()[i] = UInt32(i % vertices);
        geo->setMaterial(material);
        NodeRefPtr n = Node::create();
        n->setCore(geo);
        root->addChild(n);
    }
    return root;
}

// Plain write of `size` bytes to a new file, synced like the osb writer does.
void plainWrite(const fs::path& path, const char* data, std::size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0)
            break;
        done += std::size_t(n);
    }
    ::fsync(fd);
    ::close(fd);
}

std::size_t plainRead(const fs::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    struct stat info {};
    ::fstat(fd, &info);
    const std::size_t size = std::size_t(info.st_size);
    std::unique_ptr<char[]> buffer(new char[size]);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buffer.get() + done, size - done);
        if (n <= 0)
            break;
        done += std::size_t(n);
    }
    ::close(fd);
    benchmark::DoNotOptimize(buffer.get());
    return done;
}

void BM_OsbGeometryScene(benchmark::State& state)
{
    NodeRefPtr scene = makeGeometryScene();
    const fs::path osb = scratch("scene.osb");
    const fs::path plain = scratch("plain.bin");
    // The plain side writes as many bytes as the encoder makes, from memory
    // whose pages are already there.
    const std::size_t bytes = std::size_t(SceneFileHandler::the().writeToMemory(scene).size());
    std::unique_ptr<char[]> data(new char[bytes]);
    std::fill(data.get(), data.get() + bytes, 'x');
    std::vector<double> osbWrite, osbRead, sysWrite, sysRead;
    for (auto _ : state) {
        fs::remove(osb);
        osbWrite.push_back(seconds([&] {
            if (!SceneFileHandler::the().write(scene, osb.string()))
                state.SkipWithError(SceneFileHandler::the().getLastError().c_str());
        }));
        fs::remove(plain);
        sysWrite.push_back(seconds([&] { plainWrite(plain, data.get(), bytes); }));
        const double r = seconds([&] {
            const SceneReadResult read = SceneFileHandler::readScene(osb.string());
            if (!read)
                state.SkipWithError(read.message.c_str());
        });
        osbRead.push_back(r);
        sysRead.push_back(seconds([&] { plainRead(plain); }));
        state.SetIterationTime(r);
    }
    fs::remove(osb);
    fs::remove(plain);
    // Medians of the iterations.
    const double mb = double(bytes) / 1e6;
    state.counters["file_MB"] = mb;
    state.counters["osb_write_MBps"] = mb / median(osbWrite);
    state.counters["plain_write_MBps"] = mb / median(sysWrite);
    state.counters["write_ratio"] = median(sysWrite) / median(osbWrite); // goal >= 0.9
    state.counters["osb_read_MBps"] = mb / median(osbRead);
    state.counters["plain_read_MBps"] = mb / median(sysRead);
    state.counters["read_ratio"] = median(sysRead) / median(osbRead); // goal >= 0.5
}
BENCHMARK(BM_OsbGeometryScene)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// 100,000 containers: 25,000 named nodes with Transform3D cores (a node, its
// core, its Name attachment, plus one record per 8 nodes on reference cores).
void BM_OsbSmallContainers(benchmark::State& state)
{
    NodeRefPtr root = Node::create();
    std::size_t containers = 1;
    FileReferenceRefPtr record = FileReference::create();
    record->setPath("/refs/part.osb");
    ++containers;
    while (containers < 100000) {
        NodeRefPtr n = Node::create();
        setName(n, "part");
        if (containers % 8 == 0) {
            ExtReferenceRefPtr ext = ExtReference::create();
            ext->setSmartFile(record);
            n->setCore(ext);
        } else {
            n->setCore(Transform3D::create());
        }
        root->addChild(n);
        containers += 3;
    }
    const fs::path osb = scratch("small.osb");
    double write = 0, read = 0;
    for (auto _ : state) {
        write += seconds([&] { SceneFileHandler::the().write(root, osb.string()); });
        const double r = seconds([&] { benchmark::DoNotOptimize(SceneFileHandler::readScene(osb.string()).node); });
        read += r;
        state.SetIterationTime(r);
    }
    fs::remove(osb);
    const double n = double(state.iterations()) * double(containers);
    state.counters["containers"] = double(containers);
    state.counters["write_ns_per_container"] = write / n * 1e9;
    state.counters["read_ns_per_container"] = read / n * 1e9;
}
BENCHMARK(BM_OsbSmallContainers)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
