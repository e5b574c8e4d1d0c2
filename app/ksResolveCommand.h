// Licensed under the MIT licence; see LICENSE.
#pragma once

class ksCommandLine;
class ksTalvikHost;

// talvik resolve PROJECT --search-path DIR...: finds the project's moved
// smart and source files and saves the project with their new paths. Exit 0
// when every file was found, 2 when some are still missing.
class ksResolveCommand
{
public:
    static int run(const ksCommandLine& line, ksTalvikHost& host);
};
