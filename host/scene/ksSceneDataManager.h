// Licensed under the MIT licence; see LICENSE.
#pragma once

class ksSceneData;

// The scene data of the host's open scenes. The host has one scene, index 0.
class ksSceneDataManager
{
public:
    // Null for an index other than 0. Made on first use, kept for the process.
    static ksSceneData* getSceneData(int index);
};
