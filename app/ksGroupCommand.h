// Licensed under the MIT licence; see LICENSE.
#pragma once

class ksCommandLine;
class ksTalvikHost;

// talvik group PROJECT REF... --as NAME [--smart]: puts references under a new
// assembly node, with --smart a smart reference of its own file.
class ksGroupCommand
{
public:
    static int run(const ksCommandLine& line, ksTalvikHost& host);
};
