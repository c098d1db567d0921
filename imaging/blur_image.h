#pragma once
// The image that the window filters behind ApplyBlur work on. Internal to imaging/.

#include <cstdint>

namespace pagewash {

struct BlurImage {
    std::uint8_t* pixels;  // height rows of width * components bytes, packed; changed in place
    int width;
    int height;
    int components;
};

}  // namespace pagewash
