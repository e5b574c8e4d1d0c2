// Licensed under the MIT licence; see LICENSE.
#pragma once

class ksCommandLine;
class ksTalvikHost;

// talvik update PROJECT [REF...] [--all]: re-reads outdated references from
// their files (sources re-imported, smart files reloaded) and saves.
class ksUpdateCommand
{
public:
    static int run(const ksCommandLine& line, ksTalvikHost& host);
};
