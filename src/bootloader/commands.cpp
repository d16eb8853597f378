// placeholder
#include "bootloader/lolevel.h"
std::string DiagText;
