// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QByteArray>

#include <map>
#include <string>

// What the host keeps with a project or smart reference file besides the
// scene tree: named binary blobs (view settings, variant sets, ...). The
// scene services store them in the file as they are and never look inside.
class ksSmartReferenceStash
{
public:
    using Entries = std::map<std::string, QByteArray>;

    // Replaces an entry of the same name.
    void setEntry(const std::string& name, const QByteArray& data);
    // Empty when there is no such entry.
    QByteArray getEntry(const std::string& name) const;
    bool hasEntry(const std::string& name) const;
    void removeEntry(const std::string& name);

    // Ordered by name, which keeps written files byte-for-byte reproducible.
    const Entries& getEntries() const { return m_entries; }
    std::size_t size() const { return m_entries.size(); }
    bool isEmpty() const { return m_entries.empty(); }
    void clear();

    bool operator==(const ksSmartReferenceStash& other) const { return m_entries == other.m_entries; }
    bool operator!=(const ksSmartReferenceStash& other) const { return !(*this == other); }

private:
    Entries m_entries;
};
