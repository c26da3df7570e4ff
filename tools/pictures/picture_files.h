#pragma once
// Writing the pictures the programs carry (BMP and ICO files) from pixels:
// the helpers both programs' drawings share. Host code, run at build time.

#include <cstdint>
#include <string>
#include <vector>

namespace pictures {

struct Rgb {
    uint8_t r, g, b;
};

struct Rgba {
    uint8_t r, g, b, a;
};

void Put16(std::vector<uint8_t>& out, uint32_t v);
void Put32(std::vector<uint8_t>& out, uint32_t v);
bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// The colour t of the way from a to b (t is held to 0..1), each channel
// rounded to the nearest value.
Rgb Mix(Rgb a, Rgb b, double t);

// BITMAPINFOHEADER (40 bytes) for a bottom-up picture.
void PutInfoHeader(std::vector<uint8_t>& out, int width, int height, int bits, uint32_t imageSize,
                   uint32_t colours = 0);

// A 24-bit BMP file from pixels given top row first.
std::vector<uint8_t> Bmp24(int width, int height, const std::vector<Rgb>& pixels);

// An 8-bit BMP file with a 256-entry palette; every pixel becomes the
// nearest palette entry.
std::vector<uint8_t> Bmp8(int width, int height, const std::vector<Rgb>& pixels, const std::vector<Rgb>& palette);

// An ICO file of 32-bit images, one per size, each made by image(size):
// BITMAPINFOHEADER of double height, BGRA rows bottom-up, then the AND mask.
std::vector<uint8_t> IconFile(const std::vector<int>& sizes, std::vector<uint8_t> (*image)(int size));

// Each program's pictures into a folder; false when one cannot be written.
bool WriteBuilderPictures(const std::string& folder);
bool WriteExtractorPictures(const std::string& folder);

} // namespace pictures
