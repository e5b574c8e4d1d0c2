// Licensed under the MIT licence; see LICENSE.
#pragma once

class ksCommandLine;
class ksTalvikHost;

// talvik import FILE... --into PROJECT [--smart]: imports mesh and CAD files
// as source references into a project (made when it does not exist); with
// --smart each import also becomes a smart reference saved beside the
// project.
class ksImportCommand
{
public:
    static int run(const ksCommandLine& line, ksTalvikHost& host);
};
