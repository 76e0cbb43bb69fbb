// Golden pictures of tests/data/dib (made by make_golden.py there with
// Pillow and ImageMagick): file bytes, decoded RGB and alpha, sizes.
#pragma once
#include "platform/filesystem/stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace dibtest {

inline std::string DataPath(const std::string& name) { return std::string(VORQ_TEST_DATA) + "/dib/" + name; }

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    EXPECT_TRUE(f.good()) << path;
    return {std::istreambuf_iterator<char>(f), {}};
}

struct Golden {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;    // red, green, blue; top row first
    std::vector<uint8_t> alpha;  // when the picture has one
};

inline Golden LoadGolden(const std::string& base) {
    Golden g;
    std::ifstream m(DataPath("manifest.txt"));
    std::string line;
    while (std::getline(m, line)) {
        std::istringstream in(line);
        std::string name;
        int w, h;
        if (in >> name >> w >> h && name == base) g.width = w, g.height = h;
    }
    EXPECT_GT(g.width, 0) << base << " not in manifest";
    g.rgb = ReadBytes(DataPath(base + ".rgb"));
    std::ifstream a(DataPath(base + ".alpha"), std::ios::binary);
    if (a.good()) g.alpha.assign(std::istreambuf_iterator<char>(a), {});
    return g;
}

inline TMemoryStream StreamOf(const std::vector<uint8_t>& bytes) {
    TMemoryStream s;
    s.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    return s;
}

// Where the writer tests leave their files for make_golden.py --check-writers.
inline std::string WriterOutDir() { return std::string(VORQ_BINARY_DIR) + "/dib_out/"; }

inline void WriteFile(const std::string& path, const void* data, size_t n) {
    std::ofstream f(path, std::ios::binary);
    f.write(static_cast<const char*>(data), static_cast<std::streamsize>(n));
}

}  // namespace dibtest
