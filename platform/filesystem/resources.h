// Blobs linked into the executable, found by name and type the way module
// resources are (names and types compare without case).
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>

// Registers a blob; the bytes must outlive the program (static data).
void RegisterResource(const std::string& name, const std::string& type, std::span<const uint8_t> data);
std::optional<std::span<const uint8_t>> FindResource(const std::string& name, const std::string& type);
void UnregisterResource(const std::string& name, const std::string& type);
