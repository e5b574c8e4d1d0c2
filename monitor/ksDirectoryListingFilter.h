// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QByteArray>
#include <QRegularExpression>
#include <QString>

#include <cstddef>
#include <cstdint>

// One directory name filter with the semantics of QDir's name filters: a wildcard
// ('*', '?', "[...]" sets) matched case-insensitively against the whole name.
//
// Qt turns the wildcard into a regular expression and runs it on every name. Here an
// ASCII pattern without sets is matched byte-wise against ASCII names, which is what
// makes large listings cheap; every other combination (non-ASCII on either side, sets,
// where Unicode case folding or character classes come in) goes through the very
// expression Qt builds, so the two can never disagree there.
class ksDirectoryListingFilter
{
public:
    explicit ksDirectoryListingFilter(const QString& pattern);

    // Whether matchAscii() may decide for pure-ASCII names.
    bool hasAsciiMatcher() const { return m_asciiMatcher; }

    // The literal start of the pattern, lowered and packed like head(): a name whose
    // head differs under the mask cannot match. Only meaningful with the ASCII matcher.
    std::uint64_t headMask() const { return m_headMask; }
    std::uint64_t headValue() const { return m_headValue; }

    // Case-insensitive wildcard match of an ASCII name; requires hasAsciiMatcher().
    bool matchAscii(const char* name, std::size_t length) const;

    // Qt's own decision for any name. The expression is compiled on first use.
    bool matchQt(const QString& name);

    // The first eight bytes of an ASCII name, lowered, little end first, zero-padded.
    static std::uint64_t head(const char* name, std::size_t length);

    static char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c | 0x20) : c; }

private:
    QString m_pattern;
    QByteArray m_lowered;
    bool m_asciiMatcher = false;
    std::uint64_t m_headMask = 0;
    std::uint64_t m_headValue = 0;
    bool m_compiled = false;
    QRegularExpression m_expression;
};
