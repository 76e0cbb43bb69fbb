// What makes a drawing surface of a size and depth (a width or height of 0:
// one sized later): a memory or display-format surface in the player, a
// plain buffer in tests. Label lists, rich text and the display objects'
// layers all take one.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

class TCustomDIBX;

using TSurfaceMaker = std::function<std::unique_ptr<TCustomDIBX>(int32_t width, int32_t height, int32_t bits)>;
