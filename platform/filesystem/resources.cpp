#include "platform/filesystem/resources.h"
#include "platform/text/codepage.h"

#include <map>
#include <mutex>

namespace {
std::map<std::string, std::span<const uint8_t>>& table() {
    static std::map<std::string, std::span<const uint8_t>> t;
    return t;
}
std::mutex& table_mutex() {
    static std::mutex m;
    return m;
}
std::string key_of(const std::string& name, const std::string& type) {
    return AnsiUpperCase(type) + '\0' + AnsiUpperCase(name);
}
}  // namespace

void RegisterResource(const std::string& name, const std::string& type, std::span<const uint8_t> data) {
    std::lock_guard lock(table_mutex());
    table()[key_of(name, type)] = data;
}

std::optional<std::span<const uint8_t>> FindResource(const std::string& name, const std::string& type) {
    std::lock_guard lock(table_mutex());
    auto it = table().find(key_of(name, type));
    if (it == table().end()) return std::nullopt;
    return it->second;
}

void UnregisterResource(const std::string& name, const std::string& type) {
    std::lock_guard lock(table_mutex());
    table().erase(key_of(name, type));
}
