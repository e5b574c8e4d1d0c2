// Licensed under the MIT licence; see LICENSE.
#pragma once

class ksCommandLine;
class ksTalvikHost;

// talvik watch PROJECT [--interval MS]: keeps the project open and prints
// every change the update monitor reports and every notification, until
// SIGINT or SIGTERM (exit 0).
class ksWatchCommand
{
public:
    static int run(const ksCommandLine& line, ksTalvikHost& host);
};
