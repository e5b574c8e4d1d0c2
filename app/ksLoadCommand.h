// Licensed under the MIT licence; see LICENSE.
#pragma once

class ksCommandLine;
class ksTalvikHost;

// talvik load PROJECT REF... and talvik unload PROJECT REF...: loads the
// references' content from their files, or takes it out of the scene.
class ksLoadCommand
{
public:
    static int load(const ksCommandLine& line, ksTalvikHost& host);
    static int unload(const ksCommandLine& line, ksTalvikHost& host);

private:
    static int run(const ksCommandLine& line, ksTalvikHost& host, bool load);
};
