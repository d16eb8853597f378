// The program's version, one number for the window, the command line and the package.
#pragma once

namespace platform {

// "0.1.0": the project version of the build.
const char* Version();

}  // namespace platform
