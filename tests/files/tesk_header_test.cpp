// Whether a layered image is stored uncompressed (the packer packs those):
// only a whole header of version 103 or later that says so.
#include "files/tesk_header.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// "Tesk" + version, a header record of size bytes (compression at 22) of
// which only the first `stored` bytes are there.
std::string tesk(const char* version, uint32_t size, uint8_t compression, uint32_t stored) {
    std::string s = std::string("Tesk") + version;
    s.append(reinterpret_cast<const char*>(&size), 4);
    std::string record(std::max<uint32_t>(size, 23), '\0');
    record[22] = static_cast<char>(compression);
    s += record.substr(0, stored);
    return s;
}

bool probe(const std::string& bytes) {
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    return IsUncompressedTeskStream(s);
}

}  // namespace

TEST(TeskHeader, UncompressedOnlyWhenAWholeHeaderSaysSo) {
    struct Case {
        const char* what;
        std::string bytes;
        bool want;
    };
    const std::vector<Case> cases = {
        {"none", tesk("106", 40, tcNone, 40), true},
        {"zlib", tesk("106", 40, tcZlib, 40), false},
        {"JPEG", tesk("103", 40, tcJpeg, 40), false},
        {"before 103 there is no header", tesk("102", 40, tcNone, 40), false},
        {"a short record defaults to none", tesk("104", 20, tcZlib, 20), true},
        {"a longer record than ours", tesk("105", 64, tcNone, 64), true},
        {"record cut short", tesk("106", 40, tcNone, 30), false},
        {"size cut short", std::string("Tesk106\x28\0", 9), false},
        {"not a digit", tesk("1x6", 40, tcNone, 40), false},
        {"another file", "BM" + std::string(60, '\0'), false},
        {"empty", "", false},
    };
    for (const Case& c : cases) EXPECT_EQ(probe(c.bytes), c.want) << c.what;
}
