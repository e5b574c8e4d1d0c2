// Licensed under the MIT licence; see LICENSE.
#pragma once

// The import settings of one file type.
class ksdQorSettings
{
public:
    // What an import does with the smart references that the imported file
    // brings along.
    enum SmartReferenceBehavior {
        KeepSmartReferences = 0,  // kept as references, their content loaded
        KeepNotLoaded = 1,        // kept as references, their content not loaded
        SourceReferencesOnly = 2, // only source references are made
        EmbedContent = 3,         // content stays in the scene, the link to the smart file goes
    };

    ksdQorSettings() = default;
    explicit ksdQorSettings(int smartReferenceBehavior, bool createReferences = true, bool optimizeTree = true)
        : m_smartReferenceBehavior(smartReferenceBehavior)
        , m_createReferences(createReferences)
        , m_optimizeTree(optimizeTree)
    {
    }

    int getSmartReferenceBehavior() const { return m_smartReferenceBehavior; }
    void setSmartReferenceBehavior(int behavior) { m_smartReferenceBehavior = behavior; }
    // Turn the imported file into a source reference.
    bool getCreateReferences() const { return m_createReferences; }
    void setCreateReferences(bool create) { m_createReferences = create; }
    // Run the tree optimisation on converted CAD trees.
    bool getOptimizeTree() const { return m_optimizeTree; }
    void setOptimizeTree(bool optimize) { m_optimizeTree = optimize; }

    bool operator==(const ksdQorSettings& o) const
    {
        return m_smartReferenceBehavior == o.m_smartReferenceBehavior && m_createReferences == o.m_createReferences
               && m_optimizeTree == o.m_optimizeTree;
    }

private:
    int m_smartReferenceBehavior = KeepSmartReferences;
    bool m_createReferences = true;
    bool m_optimizeTree = true;
};
