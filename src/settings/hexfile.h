// Intel HEX loader into FlashImage. File addresses are offsets from the flash start.
#pragma once

#include <string>

#include "platform/status_bar.h"

bool LoadHexFile(platform::StatusBar& statusBar, const std::string& fileName, std::string& message);
