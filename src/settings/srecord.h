// Motorola S-records with chip addresses: S0 header, S1/S2/S3 data with
// 16-, 24- and 32-bit addresses, S5/S6 the count of data records, S7/S8/S9
// the end (optional: srec_cat writes none without a start address).
#pragma once

#include <string>
#include <vector>

#include "settings/firmware.h"

// False with "line N: why" at the first fault, or for a file with no records.
bool ReadSRecords(const std::vector<std::string>& lines, TImageBuilder& image, std::string& message);
