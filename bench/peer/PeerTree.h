// Licensed under the MIT licence; see LICENSE.
#pragma once

// What both sides of the decode comparison share: the shape of the tree, the
// meshes, and the process's memory figures. Standard library only, since the
// two sides use two scene graphs that both live in the namespace `osg`.
//
// root (group)
// +- 1,000 assemblies (transforms, named "Assembly<i>")
//    +- 99 parts each (named "Part<j>"), each showing one of 1,000 meshes
//       (a box of 24 positions, 24 normals, 36 indices): a mesh is shared
//       by about 99 parts, and every mesh shares one material.
// 100,000 nodes in all.
//
// With `geometry`, the tree is instead 7 transforms over a mesh of a
// million vertices each (about 200 MB of arrays), the shape of the file
// benchmarks' geometry scene.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace peertree {

constexpr int Nodes = 100000;
constexpr int Assemblies = 1000;
constexpr int Meshes = 1000;
constexpr int Parts = Nodes - 1 - Assemblies;

constexpr int GeometryParts = 7;
constexpr std::size_t GeometryVertices = 1000000;

struct Mesh {
    std::vector<float> positions; // x, y, z per vertex
    std::vector<float> normals;
    std::vector<std::uint32_t> indices;
};

// A box of size 1 + mesh/1000, with a normal per face corner.
inline Mesh boxMesh(int mesh)
{
    const float s = 1.0f + float(mesh) / 1000.0f;
    static const int faces[6][4][3] = {
        {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 0, 1}, {0, 1, 1}, {1, 1, 1}, {1, 0, 1}},
        {{0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}}, {{0, 1, 0}, {1, 1, 0}, {1, 1, 1}, {0, 1, 1}},
        {{0, 0, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1}}, {{1, 0, 0}, {1, 0, 1}, {1, 1, 1}, {1, 1, 0}},
    };
    static const float normals[6][3] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {-1, 0, 0}, {1, 0, 0}};
    Mesh m;
    for (int f = 0; f < 6; ++f) {
        const auto base = std::uint32_t(m.positions.size() / 3);
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 3; ++k) {
                m.positions.push_back(float(faces[f][c][k]) * s);
                m.normals.push_back(normals[f][k]);
            }
        for (std::uint32_t i : {0u, 1u, 2u, 0u, 2u, 3u})
            m.indices.push_back(base + i);
    }
    return m;
}

// One part of the geometry scene: a wavy surface, its normals, and indices.
inline Mesh surfaceMesh(int part)
{
    Mesh m;
    m.positions.resize(GeometryVertices * 3);
    m.normals.resize(GeometryVertices * 3);
    m.indices.resize(GeometryVertices);
    for (std::size_t i = 0; i < GeometryVertices; ++i) {
        const float u = float(i % 1000) * 0.01f, v = float(i / 1000) * 0.01f;
        m.positions[3 * i] = u;
        m.positions[3 * i + 1] = v;
        m.positions[3 * i + 2] = std::sin(u * 3 + float(part)) * std::cos(v * 2);
        m.normals[3 * i] = std::cos(u);
        m.normals[3 * i + 1] = std::sin(v);
        m.normals[3 * i + 2] = 1.0f;
        m.indices[i] = std::uint32_t(i);
    }
    return m;
}

// Where assembly `a` stands: a translation in the plane, which each side
// sets on its transform in its own matrix layout.
inline void assemblyOffset(int a, float& x, float& y)
{
    x = float(a % 40) * 3.0f;
    y = float(a / 40) * 3.0f;
}

inline long statusKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(key);
    while (std::getline(status, line))
        if (line.compare(0, n, key) == 0 && line.size() > n && line[n] == ':')
            return std::strtol(line.c_str() + n + 1, nullptr, 10);
    return -1;
}

// Resets the process's peak resident size (VmHWM) to its current size, so
// that the peak of one step can be read afterwards.
inline bool resetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return bool(clear);
}

inline std::vector<char> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What a side's program is asked: `write PATH [geometry]` builds the scene
// and writes it; `read PATH [decodes]` reads the file and measures.
struct Command {
    bool write = false;
    bool geometry = false;
    std::string path;
    int decodes = 5;
};

inline bool parseCommand(int argc, char** argv, Command& command)
{
    const std::string mode = argc > 2 ? argv[1] : "";
    if (mode != "write" && mode != "read") {
        std::fprintf(stderr, "usage: %s write PATH [geometry] | read PATH [decodes]\n", argv[0]);
        return false;
    }
    command.write = mode == "write";
    command.path = argv[2];
    command.geometry = command.write && argc > 3 && std::string(argv[3]) == "geometry";
    if (!command.write && argc > 3)
        command.decodes = std::max(2, std::atoi(argv[3]));
    return true;
}

// What one read process prints: the first decode (fresh memory, as when a
// file is opened), its peak memory above the resident size before it, and
// the median of the later decodes (memory the allocator already has).
// `decode()` decodes once and returns its milliseconds, or a negative value
// on failure, keeping the scene until `drop()`. Returns main's status.
template <class Decode, class Drop>
int measureReads(const char* side, const Command& command, std::size_t fileBytes, Decode decode, Drop drop)
{
    const long before = statusKb("VmRSS");
    if (!resetPeak())
        std::fprintf(stderr, "cannot reset the peak resident size\n");
    const double first = decode();
    const long peakKb = statusKb("VmHWM") - before;
    if (first < 0)
        return 1;
    drop();
    std::vector<double> warm;
    for (int i = 1; i < command.decodes; ++i) {
        warm.push_back(decode());
        drop();
    }
    std::sort(warm.begin(), warm.end());
    std::printf("%s first_ms=%.2f peak_mb=%.2f warm_ms=%.2f file_mb=%.2f\n", side, first, double(peakKb) / 1024.0,
                warm[warm.size() / 2], double(fileBytes) / 1e6);
    return 0;
}

template <class F> double milliseconds(F f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace peertree
