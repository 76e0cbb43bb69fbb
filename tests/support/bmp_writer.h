// Writes small uncompressed 24-bit BMP files, bottom-up with rows padded to
// four bytes, so tests and the build-time tools can make pictures of their own.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// A w x h picture whose pixel (x, y) is colour(x, y), 0x00RRGGBB.
void WriteBmp24(const std::string& path, int32_t w, int32_t h,
                const std::function<uint32_t(int32_t, int32_t)>& colour);
