#include "platform/filesystem/registry_values.h"

#include "platform/filesystem/ini_file.h"

#include <cstdlib>

std::string RegistryValuesPath() {
    // Tests and portable set-ups point the file elsewhere.
    if (const char* p = std::getenv("VORQ_REGISTRY_FILE"); p && *p) return p;
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home) base = std::string(home) + "/.config";
    else return "";
    return base + "/vorqplayer/registry.ini";
}

std::optional<std::string> ReadRegistryValue(const std::string& key_path, const std::string& name) {
    const std::string path = RegistryValuesPath();
    if (path.empty()) return std::nullopt;
    const IniFile file(path);
    if (!file.ValueExists(key_path, name)) return std::nullopt;
    return file.ReadString(key_path, name, "");
}
