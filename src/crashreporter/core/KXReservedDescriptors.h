#pragma once

namespace kestrix {

// A few file descriptors held from installation on and given back at the start of crash handling:
// running out of descriptors is a common reason for a crash, and the report and the crash state
// still need to open their files then.
// Opens the reserve once; not for the crash path.
bool kxfdReserve();
// Closes the reserve (once); async-signal-safe.
void kxfdRelease();

} // namespace kestrix
