#pragma once

namespace kestrix {

// The crash reporter's one start call for the application.
class Kestrix
{
public:
    // Installs the crash core (fatal signals and uncaught C++ exceptions) into the crash-reports folder
    // of the storage layout. Only the first call does anything. GUI thread, at launch.
    static void start();
};

} // namespace kestrix
