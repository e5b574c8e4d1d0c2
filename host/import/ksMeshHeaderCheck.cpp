// Licensed under the MIT licence; see LICENSE.
#include "import/ksMeshHeaderCheck.h"

#include <QByteArray>
#include <QList>

namespace {

// At least "0 0 0\n" per OFF vertex and "0\n" per face.
constexpr std::uint64_t MinOffVertexBytes = 6;
constexpr std::uint64_t MinOffFaceBytes = 2;
constexpr std::uint64_t MaxCount = std::uint64_t(1) << 40;

// A decimal count; a number too large for the check's arithmetic counts as huge.
std::uint64_t count(const QByteArray& token, bool* ok)
{
    std::uint64_t value = 0;
    *ok = !token.isEmpty();
    for (const char c : token) {
        if (c < '0' || c > '9') {
            *ok = false;
            return 0;
        }
        value = value >= MaxCount ? MaxCount : value * 10 + std::uint64_t(c - '0');
    }
    return value;
}

QString tooMany(const QString& what, std::uint64_t fileSize)
{
    return QStringLiteral("declares %1, more than its %2 bytes can hold").arg(what).arg(fileSize);
}

// "[ST][C][N][4][n]OFF [dimension] vertices faces edges", or the counts
// alone.
QString checkOff(const QByteArray& head, std::uint64_t fileSize)
{
    const QList<QByteArray> tokens = head.simplified().split(' ');
    int at = 0;
    if (!tokens.isEmpty() && tokens[0].endsWith("OFF")) {
        at = 1;
        if (tokens[0].contains('n'))
            ++at; // the vertex dimension
    }
    bool okVertices = false, okFaces = false;
    const std::uint64_t vertices = at < tokens.size() ? count(tokens[at], &okVertices) : 0;
    const std::uint64_t faces = at + 1 < tokens.size() ? count(tokens[at + 1], &okFaces) : 0;
    if (!okVertices || !okFaces)
        return QString(); // Assimp's own reader says what is wrong
    if (vertices * MinOffVertexBytes + faces * MinOffFaceBytes <= fileSize)
        return QString();
    return tooMany(QStringLiteral("%1 vertices and %2 faces").arg(vertices).arg(faces), fileSize);
}

// "element NAME COUNT" lines up to "end_header". Assimp 5.2 reads a header
// without its end forever, so one must end within the bytes checked.
QString checkPly(const QByteArray& head, std::uint64_t fileSize)
{
    std::uint64_t total = 0;
    for (const QByteArray& line : head.split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.value(0) == "end_header")
            return QString();
        bool ok = false;
        if (words.size() == 3 && words[0] == "element")
            total += count(words[2], &ok);
        if (total > fileSize)
            return tooMany(QStringLiteral("%1 elements").arg(total), fileSize);
    }
    return QStringLiteral("the PLY header does not end (no end_header in its first %1 bytes)").arg(head.size());
}

} // namespace

QString ksMeshHeaderCheck::check(const QString& suffix, const char* head, std::size_t headSize, std::uint64_t fileSize)
{
    const QByteArray bytes = QByteArray::fromRawData(head, int(headSize));
    if (suffix == QLatin1String("off"))
        return checkOff(bytes, fileSize);
    if (suffix == QLatin1String("ply"))
        return checkPly(bytes, fileSize);
    return QString();
}
