// The library's version, for programs that report it (about boxes, error reports).
#pragma once

namespace zvtapi {

// "major.minor.patch" of the zvTapi library this program runs with.
const char* LibraryVersion();

}  // namespace zvtapi
