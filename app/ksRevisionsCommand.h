// Licensed under the MIT licence; see LICENSE.
#pragma once

class ksCommandLine;
class ksTalvikHost;

// talvik revisions FILE --expression REGEX...: lists the revisions that lie
// beside a file (the expressions' capture groups mark the revision part of a
// name) and names the newest. Exit 0 when FILE is the newest (or has no
// revision), 1 when a newer one exists.
class ksRevisionsCommand
{
public:
    static int run(const ksCommandLine& line, ksTalvikHost& host);
};
