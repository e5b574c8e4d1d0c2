// Licensed under the MIT licence; see LICENSE.
#pragma once

class ksCommandLine;
class ksTalvikHost;

// talvik relink PROJECT REF --to FILE | --newest [--expression REGEX...]:
// points a reference at another file, or at the newest revision of its own.
class ksRelinkCommand
{
public:
    static int run(const ksCommandLine& line, ksTalvikHost& host);
};
