// Draws the builder's pictures at build time: the side picture of the
// welcome and completion pages, the two progress-bar images and the program
// icon. Runs on the build machine; writes BMP and ICO files into the folder
// given as its only argument.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Rgb {
    uint8_t r, g, b;
};

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

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
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

// BITMAPINFOHEADER (40 bytes) for a bottom-up bitmap.
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

// 24-bit BMP file from top-down pixels.
std::vector<uint8_t> Bmp24(int width, int height, const std::vector<Rgb>& pixels)
{
    uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    uint32_t imageSize = stride * static_cast<uint32_t>(height);
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, 14 + 40 + imageSize);
    Put32(out, 0);
    Put32(out, 14 + 40);
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

// 8-bit BMP with a 256-entry palette; every pixel is mapped to the nearest
// palette entry.
std::vector<uint8_t> Bmp8(int width, int height, const std::vector<Rgb>& pixels,
                          const std::vector<Rgb>& palette)
{
    uint32_t stride = (static_cast<uint32_t>(width) + 3) & ~3u;
    uint32_t imageSize = stride * static_cast<uint32_t>(height);
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, 14 + 40 + 1024 + imageSize);
    Put32(out, 0);
    Put32(out, 14 + 40 + 1024);
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

const Rgb NAVY{18, 52, 110};
const Rgb SKY{120, 176, 230};
const Rgb WHITE{255, 255, 255};
const Rgb AMBER{236, 168, 52};
const Rgb AMBER_DARK{178, 112, 24};

// Does (x, y) lie inside the parcel drawn at (cx, cy) with half-size s: a
// box seen from the front with a band around it?
int ParcelPart(double x, double y, double cx, double cy, double s)
{
    double dx = x - cx, dy = y - cy;
    if (std::fabs(dx) > s || std::fabs(dy) > s * 0.8) return 0;
    if (std::fabs(dx) < s * 0.12) return 2; // band
    if (dy < -s * 0.45) return 3;           // lid
    return 1;
}

std::vector<Rgb> SidePicture(int width, int height)
{
    std::vector<Rgb> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double t = static_cast<double>(y) / (height - 1);
            Rgb p = Mix(NAVY, SKY, t);
            switch (ParcelPart(x, y, width / 2.0, height * 0.62, 34)) {
            case 1:
                p = AMBER;
                break;
            case 2:
                p = Mix(AMBER_DARK, WHITE, 0.15);
                break;
            case 3:
                p = Mix(AMBER, WHITE, 0.35);
                break;
            default:
                break;
            }
            // A wave of small squares rising from the parcel: files going in.
            for (int i = 0; i < 5; ++i) {
                double fx = width / 2.0 + std::sin(i * 1.3) * 28.0;
                double fy = height * 0.15 + i * 18.0;
                double half = 5.0 + i;
                if (std::fabs(x - fx) <= half && std::fabs(y - fy) <= half * 1.2)
                    p = Mix(WHITE, SKY, i * 0.12);
            }
            pixels[static_cast<size_t>(y) * width + x] = p;
        }
    return pixels;
}

// Palette for the side picture: the sky's gradient in 200 steps, then the
// few colours of the parcel and the small squares.
std::vector<Rgb> SidePalette()
{
    std::vector<Rgb> palette;
    for (int i = 0; i < 200; ++i)
        palette.push_back(Mix(NAVY, SKY, i / 199.0));
    palette.push_back(AMBER);
    palette.push_back(Mix(AMBER_DARK, WHITE, 0.15));
    palette.push_back(Mix(AMBER, WHITE, 0.35));
    for (int i = 0; i < 5; ++i)
        palette.push_back(Mix(WHITE, SKY, i * 0.12));
    while (palette.size() < 256)
        palette.push_back(WHITE);
    return palette;
}

// A bar image: a glossy horizontal band of one hue.
std::vector<Rgb> BarImage(int width, int height, Rgb dark, Rgb light)
{
    std::vector<Rgb> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double t = static_cast<double>(y) / (height - 1);
            // Bright near the top, darker toward the bottom edge.
            double shade = t < 0.45 ? 0.2 + t : 1.0 - (t - 0.45) * 0.8;
            Rgb p = Mix(dark, light, shade);
            if (y == 0 || y == height - 1) p = Mix(dark, Rgb{0, 0, 0}, 0.2);
            pixels[static_cast<size_t>(y) * width + x] = p;
        }
    return pixels;
}

// One 32-bit icon image (BITMAPINFOHEADER with double height, BGRA pixels,
// then the 1-bit AND mask).
std::vector<uint8_t> IconImage(int size)
{
    std::vector<uint8_t> out;
    uint32_t maskStride = ((static_cast<uint32_t>(size) + 31) / 32) * 4;
    PutInfoHeader(out, size, size * 2, 32, 0, 0);
    double s = size * 0.42;
    for (int y = size - 1; y >= 0; --y)
        for (int x = 0; x < size; ++x) {
            double px = x + 0.5, py = y + 0.5;
            int part = ParcelPart(px, py, size / 2.0, size / 2.0 + size * 0.05, s);
            Rgb c{0, 0, 0};
            uint8_t alpha = 0;
            if (part != 0) {
                alpha = 255;
                c = part == 2 ? NAVY : (part == 3 ? Mix(AMBER, WHITE, 0.35) : AMBER);
            }
            out.push_back(c.b);
            out.push_back(c.g);
            out.push_back(c.r);
            out.push_back(alpha);
        }
    for (int y = size - 1; y >= 0; --y) {
        std::vector<uint8_t> row(maskStride, 0);
        for (int x = 0; x < size; ++x)
            if (ParcelPart(x + 0.5, y + 0.5, size / 2.0, size / 2.0 + size * 0.05, s) == 0)
                row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

std::vector<uint8_t> Icon()
{
    const int sizes[] = {16, 32, 48};
    std::vector<std::vector<uint8_t>> images;
    for (int size : sizes)
        images.push_back(IconImage(size));
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        out.push_back(static_cast<uint8_t>(sizes[i]));
        out.push_back(static_cast<uint8_t>(sizes[i]));
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

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_pictures OUTPUT_FOLDER\n");
        return 2;
    }
    std::string folder = argv[1];
    bool ok = WriteFile(folder + "/side.bmp", Bmp8(128, 246, SidePicture(128, 246), SidePalette())) &&
              WriteFile(folder + "/bar_compress.bmp",
                        Bmp24(300, 27, BarImage(300, 27, Rgb{20, 70, 160}, Rgb{150, 200, 250}))) &&
              WriteFile(folder + "/bar_verify.bmp",
                        Bmp24(300, 27, BarImage(300, 27, Rgb{20, 120, 50}, Rgb{150, 230, 160}))) &&
              WriteFile(folder + "/zelkora.ico", Icon());
    if (!ok) {
        std::fprintf(stderr, "make_pictures: cannot write into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
