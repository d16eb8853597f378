// The program's version, one number for the window, the command line and the package.
#pragma once

namespace platform {

// "0.1.0": the project version of the build.
const char* Version();

// "org.velkor.Programmer": the name of the menu entry, its icon and its
// AppStream data; the window gives it to the desktop.
const char* AppId();

}  // namespace platform
