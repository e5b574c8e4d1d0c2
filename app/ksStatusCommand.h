// Licensed under the MIT licence; see LICENSE.
#pragma once

class ksCommandLine;
class ksTalvikHost;

// talvik status PROJECT [--json]: the reference tree of a project. Exit 0
// when every reference is up to date, 1 when one is outdated, 2 when one is
// missing.
class ksStatusCommand
{
public:
    static int run(const ksCommandLine& line, ksTalvikHost& host);
};
