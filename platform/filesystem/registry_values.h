// The player's settings that the system registry would hold: one small
// key-value file in the user's config folder ($XDG_CONFIG_HOME, else
// ~/.config, then vorqplayer/registry.ini), a section per key path
// ("Software\Game"), a line per value. A missing file holds no values.
#pragma once
#include <optional>
#include <string>

std::string RegistryValuesPath();
std::optional<std::string> ReadRegistryValue(const std::string& key_path, const std::string& name);
