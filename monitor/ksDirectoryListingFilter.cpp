// Licensed under the MIT licence; see LICENSE.
#include "monitor/ksDirectoryListingFilter.h"

ksDirectoryListingFilter::ksDirectoryListingFilter(const QString& pattern)
    : m_pattern(pattern)
{
    // Outside sets, Qt escapes every ASCII character that is special to the regular
    // expression, so such a pattern is plain literals, '*' and '?'. A NUL would
    // collide with the zero padding of head().
    bool ascii = true;
    for (const QChar c : pattern) {
        const ushort u = c.unicode();
        if (u == 0 || u >= 0x80 || u == '[') {
            ascii = false;
            break;
        }
    }
    if (!ascii)
        return;

    m_asciiMatcher = true;
    m_lowered.reserve(pattern.size());
    for (const QChar c : pattern)
        m_lowered.append(lowerAscii(char(c.unicode())));

    for (int i = 0; i < m_lowered.size() && i < 8; ++i) {
        const char c = m_lowered.at(i);
        if (c == '*' || c == '?')
            break;
        m_headMask |= std::uint64_t(0xff) << (8 * i);
        m_headValue |= std::uint64_t(static_cast<unsigned char>(c)) << (8 * i);
    }
}

bool ksDirectoryListingFilter::matchAscii(const char* name, std::size_t length) const
{
    const char* pattern = m_lowered.constData();
    const std::size_t patternLength = std::size_t(m_lowered.size());

    // Greedy scan; on a mismatch, let the last '*' swallow one more character. Each
    // '*' only ever moves forward, so this is linear in practice and never exponential.
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starPattern = std::size_t(-1);
    std::size_t starName = 0;
    while (n < length) {
        if (p < patternLength) {
            const char pc = pattern[p];
            if (pc == '*') {
                starPattern = p++;
                starName = n;
                continue;
            }
            if (pc == '?' || pc == lowerAscii(name[n])) {
                ++p;
                ++n;
                continue;
            }
        }
        if (starPattern == std::size_t(-1))
            return false;
        p = starPattern + 1;
        n = ++starName;
    }
    while (p < patternLength && pattern[p] == '*')
        ++p;
    return p == patternLength;
}

bool ksDirectoryListingFilter::matchQt(const QString& name)
{
    if (!m_compiled) {
        // The same expression QDir's iterator builds for a name filter without
        // QDir::CaseSensitive.
        m_expression = QRegularExpression(QRegularExpression::wildcardToRegularExpression(m_pattern),
                                          QRegularExpression::CaseInsensitiveOption);
        m_compiled = true;
    }
    // An unbalanced set makes the expression invalid: Qt then lists nothing (and
    // warns for every name, which is not worth copying).
    return m_expression.isValid() && m_expression.match(name).hasMatch();
}

std::uint64_t ksDirectoryListingFilter::head(const char* name, std::size_t length)
{
    std::uint64_t value = 0;
    const std::size_t count = length < 8 ? length : 8;
    for (std::size_t i = 0; i < count; ++i)
        value |= std::uint64_t(static_cast<unsigned char>(lowerAscii(name[i]))) << (8 * i);
    return value;
}
