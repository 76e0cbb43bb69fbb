#include "platform/filesystem/registry_values.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

TEST(RegistryValues, ReadsValuesUnderTheirKeyPathWithoutCase) {
    const std::string path = std::string(VORQ_BINARY_DIR) + "/registry_values_test.ini";
    std::ofstream(path) << "[Software\\Game]\r\nCDDrive=/dev/sr1\r\n[Software\\Other]\r\nCDDrive=E\r\n";
    setenv("VORQ_REGISTRY_FILE", path.c_str(), 1);
    struct Case {
        const char* key;
        const char* name;
        std::optional<std::string> value;
    } cases[] = {{"Software\\Game", "CDDrive", "/dev/sr1"},
                 {"software\\game", "cddrive", "/dev/sr1"},
                 {"Software\\Other", "CDDrive", "E"},
                 {"Software\\Game", "Missing", std::nullopt},
                 {"Software\\None", "CDDrive", std::nullopt}};
    for (const auto& c : cases) EXPECT_EQ(ReadRegistryValue(c.key, c.name), c.value) << c.key << " " << c.name;
    std::filesystem::remove(path);
    EXPECT_EQ(ReadRegistryValue("Software\\Game", "CDDrive"), std::nullopt);
    unsetenv("VORQ_REGISTRY_FILE");
}
