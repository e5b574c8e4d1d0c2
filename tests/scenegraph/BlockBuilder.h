// Licensed under the MIT licence; see LICENSE.
// Writes scene blocks and ".osb" files by hand, so that tests can make the
// malformed ones no writer would.
#pragma once

#include "scenegraph/BaseTypes.h"

#include <string>
#include <vector>

class BlockBuilder {
public:
    using Bytes = std::vector<osg::UInt8>;

    static Bytes u32s(const std::vector<osg::UInt32>& values)
    {
        Bytes out;
        for (osg::UInt32 v : values)
            append(out, &v, 4);
        return out;
    }

    // Starts a record, optionally with one field that lists other records;
    // returns its number (from 1).
    osg::UInt32 record(const std::string& type, const std::string& fieldName = {},
                       const std::vector<osg::UInt32>& ids = {})
    {
        m_records.push_back({name(type), 0, {}});
        if (!fieldName.empty())
            field(fieldName, u32s(ids));
        return osg::UInt32(m_records.size());
    }
    // A field of the current record; its stated length need not match its payload.
    BlockBuilder& field(const std::string& fieldName, const Bytes& payload, osg::UInt64 statedLength = ~0ull)
    {
        Record& r = m_records.back();
        ++r.fieldCount;
        put32(r.fields, name(fieldName));
        statedLength = statedLength == ~0ull ? payload.size() : statedLength;
        append(r.fields, &statedLength, 8);
        r.fields.insert(r.fields.end(), payload.begin(), payload.end());
        return *this;
    }
    BlockBuilder& root(osg::UInt32 record)
    {
        m_roots.push_back(record);
        return *this;
    }

    Bytes block() const
    {
        Bytes body;
        put32(body, osg::UInt32(m_strings.size()));
        for (const std::string& s : m_strings) {
            put32(body, osg::UInt32(s.size()));
            append(body, s.data(), s.size());
        }
        put32(body, osg::UInt32(m_records.size()));
        for (const Record& r : m_records) {
            put32(body, r.type);
            put32(body, r.fieldCount);
            body.insert(body.end(), r.fields.begin(), r.fields.end());
        }
        put32(body, osg::UInt32(m_roots.size()));
        for (osg::UInt32 r : m_roots)
            put32(body, r);

        Bytes out{'O', 'S', 'G', 'S', 1, 0, 0, 0}; // version 1.0
        const osg::UInt64 length = body.size();
        append(out, &length, 8);
        out.insert(out.end(), body.begin(), body.end());
        return out;
    }

    Bytes file() const { return wrapInFile(block()); }

    static Bytes wrapInFile(const Bytes& block, osg::UInt16 major = 1, osg::UInt16 minor = 0)
    {
        Bytes out{0x89, 'O', 'S', 'B', '\r', '\n', 0x1A, '\n'};
        append(out, &major, 2);
        append(out, &minor, 2);
        put32(out, 0);
        out.insert(out.end(), block.begin(), block.end());
        return out;
    }

private:
    struct Record {
        osg::UInt32 type;
        osg::UInt32 fieldCount;
        Bytes fields; // already encoded
    };

    static void append(Bytes& out, const void* p, std::size_t n)
    {
        const auto* b = static_cast<const osg::UInt8*>(p);
        out.insert(out.end(), b, b + n);
    }
    static void put32(Bytes& out, osg::UInt32 v) { append(out, &v, 4); }

    osg::UInt32 name(const std::string& s)
    {
        for (std::size_t i = 0; i < m_strings.size(); ++i)
            if (m_strings[i] == s)
                return osg::UInt32(i);
        m_strings.push_back(s);
        return osg::UInt32(m_strings.size() - 1);
    }

    std::vector<std::string> m_strings;
    std::vector<Record> m_records;
    std::vector<osg::UInt32> m_roots;
};
