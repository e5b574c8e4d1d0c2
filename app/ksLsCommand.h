// Licensed under the MIT licence; see LICENSE.
#pragma once

class ksCommandLine;
class ksTalvikHost;

// talvik ls PROJECT [--paths] [--missing] [--outdated] [--unreadable] [--depth N]:
// the reference table with the folders of its files, filtered for scripts.
class ksLsCommand
{
public:
    static int run(const ksCommandLine& line, ksTalvikHost& host);
};
