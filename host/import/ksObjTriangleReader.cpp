// Licensed under the MIT licence; see LICENSE.
#include "import/ksObjTriangleReader.h"

#include "nodeutils/ksNodeUtils.h"
#include "scenegraph/SceneGraph.h"

#include <assimp/fast_atof.h>

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

using namespace osg;

namespace {

struct Object
{
    std::string name;
    // Indices into the file's positions, counted from 0, three per face.
    std::vector<long> corners;
};

struct Token
{
    const char* begin;
    std::size_t size;
};

constexpr std::size_t MaxTokens = 5;
// Longer numbers and names are left to Assimp, which cuts names at its own
// limit.
constexpr std::size_t MaxTokenSize = 63;

// What Assimp's number reader throws on a word that is no number; its own
// exception type is not exported by the library.
struct NotANumber
{
    template <typename... Parts>
    explicit NotANumber(Parts&&...)
    {
    }
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The line's words; false when it has more than MaxTokens.
bool split(const char* begin, const char* end, Token* tokens, std::size_t& count)
{
    count = 0;
    const char* c = begin;
    while (c < end) {
        while (c < end && isBlank(*c))
            ++c;
        if (c == end)
            break;
        const char* start = c;
        while (c < end && !isBlank(*c))
            ++c;
        if (count == MaxTokens)
            return false;
        tokens[count++] = {start, std::size_t(c - start)};
    }
    return true;
}

// A number the way Assimp reads it (its own fast_atof, not strtof, whose
// last bit may differ), or false for anything that is not plainly a number.
bool readNumber(const Token& token, float& value)
{
    // Assimp does not count a word that starts with a point as a number and
    // drops the whole line.
    if (token.size == 0 || token.size > MaxTokenSize || token.begin[0] == '.')
        return false;
    char text[MaxTokenSize + 1];
    for (std::size_t i = 0; i < token.size; ++i) {
        const char c = token.begin[i];
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return false;
        text[i] = c;
    }
    text[token.size] = '\0';
    try {
        ai_real read = 0;
        const char* end = Assimp::fast_atoreal_move<ai_real, NotANumber>(text, read, false);
        if (end != text + token.size)
            return false;
        value = float(read);
        return true;
    } catch (const NotANumber&) {
        return false;
    }
}

// A plain vertex index, 1-based or negative; 0 and anything else refused.
bool readIndex(const Token& token, long positionCount, long& index)
{
    if (token.size == 0 || token.size > 18)
        return false;
    const bool negative = token.begin[0] == '-';
    if (negative && token.size == 1)
        return false;
    long value = 0;
    for (std::size_t i = negative ? 1 : 0; i < token.size; ++i) {
        const char c = token.begin[i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value == 0)
        return false;
    index = negative ? positionCount - value : value - 1;
    return index >= 0;
}

bool is(const Token& token, const char* word)
{
    const std::size_t size = std::strlen(word);
    return token.size == size && std::memcmp(token.begin, word, size) == 0;
}

} // namespace

NodeRefPtr ksObjTriangleReader::read(const char* data, std::size_t size, const std::string& fileName)
{
    // Assimp names the root after the part behind the last slash of either kind.
    if (fileName.empty() || fileName.find_first_of("\\/") != std::string::npos || !data
        || std::memchr(data, '\0', size))
        return NullFC;

    std::vector<Vec3f> positions;
    std::vector<Object> objects;
    std::unordered_set<std::string> names;
    // The object faces go to, by index: the list grows.
    std::size_t current = 0;
    bool hasCurrent = false;
    Token tokens[MaxTokens];
    std::size_t count = 0;

    const char* const end = data + size;
    for (const char* line = data; line < end;) {
        const char* lineEnd = static_cast<const char*>(std::memchr(line, '\n', std::size_t(end - line)));
        const char* const next = lineEnd ? lineEnd + 1 : end;
        if (!lineEnd)
            lineEnd = end;
        if (lineEnd > line && lineEnd[-1] == '\r')
            --lineEnd;
        // Old Mac line ends, continued lines and indented lines: Assimp's.
        if (std::find(line, lineEnd, '\r') != lineEnd || (lineEnd > line && lineEnd[-1] == '\\')
            || (lineEnd > line && isBlank(*line)))
            return NullFC;
        const char* const begin = line;
        line = next;
        if (begin == lineEnd || *begin == '#')
            continue;
        if (!split(begin, lineEnd, tokens, count))
            return NullFC;

        const Token& keyword = tokens[0];
        if (is(keyword, "v")) {
            float x, y, z;
            if (count != 4 || !readNumber(tokens[1], x) || !readNumber(tokens[2], y) || !readNumber(tokens[3], z))
                return NullFC;
            positions.emplace_back(x, y, z);
        } else if (is(keyword, "f")) {
            if (count != 4)
                return NullFC;
            if (!hasCurrent) {
                if (!names.insert("defaultobject").second)
                    return NullFC;
                objects.push_back({"defaultobject", {}});
                current = objects.size() - 1;
                hasCurrent = true;
            }
            for (std::size_t i = 1; i < 4; ++i) {
                long index = 0;
                if (!readIndex(tokens[i], long(positions.size()), index))
                    return NullFC;
                objects[current].corners.push_back(index);
            }
        } else if (is(keyword, "o")) {
            // Assimp merges objects of one name; names with blanks it cuts.
            if (count != 2 || tokens[1].size > MaxTokenSize)
                return NullFC;
            std::string name(tokens[1].begin, tokens[1].size);
            if (!names.insert(name).second)
                return NullFC;
            objects.push_back({std::move(name), {}});
            current = objects.size() - 1;
            hasCurrent = true;
        } else if (!is(keyword, "s")) {
            return NullFC;
        }
    }

    bool hasFaces = false;
    for (const Object& object : objects) {
        for (long index : object.corners)
            if (index >= long(positions.size()))
                return NullFC;
        hasFaces = hasFaces || !object.corners.empty();
    }
    if (!hasFaces)
        return NullFC;

    NodeRefPtr root = ksNodeUtils::createNode(Transform3D::create(), fileName);
    for (const Object& object : objects) {
        NodeRefPtr node = ksNodeUtils::createNode(Transform3D::create(), object.name);
        if (!object.corners.empty()) {
            // One vertex per corner, as Assimp's reader gives them.
            std::vector<Vec3f> corners;
            corners.reserve(object.corners.size());
            std::vector<UInt32> indices(object.corners.size());
            for (std::size_t i = 0; i < object.corners.size(); ++i) {
                corners.push_back(positions[std::size_t(object.corners[i])]);
                indices[i] = UInt32(i);
            }
            GeometryRefPtr geometry = Geometry::create();
            geometry->setPositions(std::move(corners));
            geometry->setIndices(std::move(indices));
            node->addChild(ksNodeUtils::createNode(geometry, object.name));
        }
        root->addChild(node);
    }
    return root;
}
