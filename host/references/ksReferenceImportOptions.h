// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <string>

// How the references of a subtree that came into the scene (by an import or
// a smart reference load) are made usable; see
// ksReferenceInterface::importReferences. Every flag starts cleared.
struct ksReferenceImportOptions
{
    // After a reference node is handled, its subtree is not visited.
    bool skipSubReferences = false;
    // Set by some callers; the reference module does not read it.
    bool reserved = false;
    // Before loading, look into the smart file's metadata: a file that lists
    // no assembly file references is not loaded.
    bool checkAssemblyReferences = false;
    // Do not load references whose state is NotLoaded.
    bool skipNotLoaded = false;
    // Do not load the subtree's root itself.
    bool skipRoot = false;
    // Load the references' smart content; the three flags above act only
    // when this is set.
    bool loadSmartReferences = false;
    // The file the subtree came from (UTF-8); may be empty.
    std::string fileName;
};
