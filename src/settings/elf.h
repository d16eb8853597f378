// ELF executables as a compiler leaves them: the file bytes of each loadable
// segment at its load (physical) address. Read through libelf; the Windows
// build has none and refuses ELF files with a message that says so.
#pragma once

#include <string>
#include <string_view>

#include "settings/firmware.h"

// The four bytes every ELF file starts with.
bool LooksLikeElf(std::string_view content);

// Fills image from the PT_LOAD segments; a segment without file bytes (.bss)
// is passed over. False with the reason for a 64-bit or non-ARM file, one
// that isn't an executable, file bytes outside the image from its base
// (named by their address), or a file libelf can't read.
bool ReadElf(std::string_view content, TImageBuilder& image, std::string& message);
