#include "picture_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace pictures {

void Put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

Rgb Mix(Rgb a, Rgb b, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    auto m = [t](uint8_t x, uint8_t y) { return static_cast<uint8_t>(std::lround(x + (y - x) * t)); };
    return {m(a.r, b.r), m(a.g, b.g), m(a.b, b.b)};
}

void PutInfoHeader(std::vector<uint8_t>& out, int width, int height, int bits, uint32_t imageSize,
                   uint32_t colours)
{
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(width));
    Put32(out, static_cast<uint32_t>(height));
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(bits));
    Put32(out, 0); // BI_RGB
    Put32(out, imageSize);
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, colours);
    Put32(out, 0);
}

namespace {

// "BM", file size, reserved, offset of the pixels.
void PutFileHeader(std::vector<uint8_t>& out, uint32_t headers, uint32_t imageSize)
{
    out.push_back('B');
    out.push_back('M');
    Put32(out, headers + imageSize);
    Put32(out, 0);
    Put32(out, headers);
}

} // namespace

std::vector<uint8_t> Bmp24(int width, int height, const std::vector<Rgb>& pixels)
{
    uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    uint32_t imageSize = stride * static_cast<uint32_t>(height);
    std::vector<uint8_t> out;
    PutFileHeader(out, 14 + 40, imageSize);
    PutInfoHeader(out, width, height, 24, imageSize, 0);
    for (int y = height - 1; y >= 0; --y) {
        size_t rowStart = out.size();
        for (int x = 0; x < width; ++x) {
            Rgb p = pixels[static_cast<size_t>(y) * width + x];
            out.push_back(p.b);
            out.push_back(p.g);
            out.push_back(p.r);
        }
        while (out.size() - rowStart < stride)
            out.push_back(0);
    }
    return out;
}

std::vector<uint8_t> Bmp8(int width, int height, const std::vector<Rgb>& pixels, const std::vector<Rgb>& palette)
{
    uint32_t stride = (static_cast<uint32_t>(width) + 3) & ~3u;
    uint32_t imageSize = stride * static_cast<uint32_t>(height);
    std::vector<uint8_t> out;
    PutFileHeader(out, 14 + 40 + 1024, imageSize);
    PutInfoHeader(out, width, height, 8, imageSize, 256);
    for (int i = 0; i < 256; ++i) {
        Rgb c = palette[static_cast<size_t>(i)];
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(0);
    }
    for (int y = height - 1; y >= 0; --y) {
        size_t rowStart = out.size();
        for (int x = 0; x < width; ++x) {
            Rgb p = pixels[static_cast<size_t>(y) * width + x];
            int best = 0;
            long bestDistance = 1L << 30;
            for (int i = 0; i < 256; ++i) {
                Rgb c = palette[static_cast<size_t>(i)];
                long dr = p.r - c.r, dg = p.g - c.g, db = p.b - c.b;
                long d = dr * dr + dg * dg + db * db;
                if (d < bestDistance) {
                    bestDistance = d;
                    best = i;
                }
            }
            out.push_back(static_cast<uint8_t>(best));
        }
        while (out.size() - rowStart < stride)
            out.push_back(0);
    }
    return out;
}

std::vector<uint8_t> IconFile(const std::vector<int>& sizes, std::vector<uint8_t> (*image)(int size))
{
    std::vector<std::vector<uint8_t>> images;
    for (int s : sizes)
        images.push_back(image(s));
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        // 0 stands for 256 pixels.
        out.push_back(static_cast<uint8_t>(sizes[i] >= 256 ? 0 : sizes[i]));
        out.push_back(static_cast<uint8_t>(sizes[i] >= 256 ? 0 : sizes[i]));
        out.push_back(0);
        out.push_back(0);
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, static_cast<uint32_t>(images[i].size()));
        Put32(out, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const auto& image : images)
        out.insert(out.end(), image.begin(), image.end());
    return out;
}

} // namespace pictures
