// The configuration file (".cfp"): eleven lines, an 8-character key and its value.
#pragma once

#include <string>

// Writes all of Ini. False, touching nothing, for an empty name.
bool SaveKonfig(const std::string& fileName);
// Reads the file into Ini, sets Ini.KonfigDatei to fileName. False,
// touching nothing, for an empty name.
bool LoadKonfig(const std::string& fileName);
