// Licensed under the MIT licence; see LICENSE.
#include "import/ksMeshHeaderCheck.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Counts an honest file of the given size can hold pass; larger ones are
// refused whatever the header's variant.
TEST(MeshHeaderCheck, CountsBeyondTheFileSizeAreRefused)
{
    const struct {
        const char* suffix;
        const char* head;
        std::uint64_t fileSize;
        const char* reason; // empty: accepted
    } cases[] = {
        {"off", "OFF\n8 6 0\n", 200, ""},
        {"off", "OFF\n353535235358 6 0\n", 309, "declares 353535235358 vertices and 6 faces, more than its 309 bytes can hold"},
        {"off", "COFF 1000 0 0", 5000, "declares 1000 vertices and 0 faces, more than its 5000 bytes can hold"},
        {"off", "nOFF 3 8 6 0", 100, ""},
        {"off", "nOFF 3 80 6 0", 100, "declares 80 vertices"},
        {"off", "8000 6 0", 100, "declares 8000 vertices"},
        {"off", "OFF garbage", 100, ""},
        {"ply", "ply\nformat ascii 1.0\nelement vertex 8\nelement face 6\nend_header\n", 200, ""},
        {"ply", "ply\nformat binary_little_endian 1.0\nelement vertex 4294967295\nend_header\n", 200,
         "declares 4294967295 elements, more than its 200 bytes can hold"},
        {"ply", "ply\nend_header\nelement vertex 4294967295\n", 200, ""},
        {"ply", "ply\nformat ascii 1.0\nelement vertex 3\nne_dheader\n0 0 0\n", 200,
         "the PLY header does not end (no end_header in its first 55 bytes)"},
        {"obj", "v 1 2 3\n", 8, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.head);
        const QString reason = ksMeshHeaderCheck::check(c.suffix, c.head, std::strlen(c.head), c.fileSize);
        if (*c.reason == 0)
            EXPECT_TRUE(reason.isEmpty()) << reason.toStdString();
        else
            EXPECT_TRUE(reason.startsWith(c.reason)) << reason.toStdString();
    }
}

} // namespace
