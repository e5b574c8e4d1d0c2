// Licensed under the MIT licence; see LICENSE.
#pragma once

class ksCommandLine;
class ksTalvikHost;

// talvik remove PROJECT REF...: the references become plain nodes that keep
// what they show; the links to their files go.
class ksRemoveCommand
{
public:
    static int run(const ksCommandLine& line, ksTalvikHost& host);
};
