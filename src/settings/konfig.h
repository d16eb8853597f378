// The configuration file (".cfp"): eleven lines, an 8-character key and its value.
#pragma once

#include <string>
#include <vector>

// Writes all of Ini. False, touching nothing, for an empty name.
bool SaveKonfig(const std::string& fileName);
// The eleven lines SaveKonfig writes for the current Ini, without line ends.
std::vector<std::string> KonfigLines();
// Reads the file into Ini, sets Ini.KonfigDatei to fileName. False,
// touching nothing, for an empty name.
bool LoadKonfig(const std::string& fileName);
