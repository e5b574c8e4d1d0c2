// Licensed under the MIT licence; see LICENSE.
#pragma once

class ksCommandLine;
class ksTalvikHost;

// talvik demo [DIR]: builds a small car assembly from meshes it writes, keeps
// its sub-assemblies in nested smart references, and shows the reference
// table while files change, vanish, get a newer revision and move.
class ksDemoCommand
{
public:
    static int run(const ksCommandLine& line, ksTalvikHost& host);
};
