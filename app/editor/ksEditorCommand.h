// Licensed under the MIT licence; see LICENSE.
#pragma once

class ksCommandLine;
class ksTalvikHost;

// talvik editor [PROJECT] [--screenshot FILE.png]: the host's main window
// with the Reference Editor, on the project when one is named. With
// --screenshot the window is drawn offscreen once the project is loaded,
// saved as a PNG file, and the program ends.
class ksEditorCommand
{
public:
    // Before the application object exists: a screenshot needs no display.
    static void preparePlatform(int argc, char** argv);
    static int run(const ksCommandLine& line, ksTalvikHost& host);
};
