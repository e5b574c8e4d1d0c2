// Licensed under the MIT licence; see LICENSE.
#pragma once

class ksCommandLine;
class ksTalvikHost;

// talvik pack PROJECT --to DIR: the project and every file it references,
// copied into DIR with paths that move with the folder, checked by a fresh load.
class ksPackCommand
{
public:
    static int run(const ksCommandLine& line, ksTalvikHost& host);
};
