// Draws the extractor's pictures at build time: the progress bar's band in
// blue (shown) and in green, and the program icon. Runs on the build
// machine; writes bar_blue.bmp, bar_green.bmp and zelkorasfx.ico into the
// folder given as its only argument.

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

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

Rgb Mix(Rgb a, Rgb b, double t)
{
    auto m = [t](uint8_t x, uint8_t y) { return static_cast<uint8_t>(std::lround(x + (y - x) * t)); };
    return {m(a.r, b.r), m(a.g, b.g), m(a.b, b.b)};
}

// BITMAPINFOHEADER for a bottom-up picture of the given height.
void PutInfoHeader(std::vector<uint8_t>& out, int width, int height, int bits, uint32_t imageSize)
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
    Put32(out, 0);
    Put32(out, 0);
}

// 24-bit BMP file from pixels given top row first.
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
    PutInfoHeader(out, width, height, 24, imageSize);
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

// The bar: every row one colour, running from the top edge's colour through
// the middle's to the bottom edge's.
std::vector<Rgb> Band(int width, int height, Rgb top, Rgb middle, Rgb bottom)
{
    std::vector<Rgb> pixels(static_cast<size_t>(width) * height);
    int mid = (height - 1) / 2;
    for (int y = 0; y < height; ++y) {
        Rgb c = y <= mid ? Mix(top, middle, static_cast<double>(y) / mid)
                         : Mix(middle, bottom, static_cast<double>(y - mid) / (height - 1 - mid));
        for (int x = 0; x < width; ++x)
            pixels[static_cast<size_t>(y) * width + x] = c;
    }
    return pixels;
}

Rgb BlueToGreen(Rgb c)
{
    return {c.r, c.b, c.g};
}

struct Rgba {
    uint8_t r, g, b, a;
};

// The icon: a cardboard box with a blue arrow coming out of it.
std::vector<Rgba> IconPixels(int size)
{
    std::vector<Rgba> px(static_cast<size_t>(size) * size, Rgba{0, 0, 0, 0});
    auto at = [&](int x, int y) -> Rgba& { return px[static_cast<size_t>(y) * size + x]; };
    double s = size / 32.0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double fx = (x + 0.5) / s, fy = (y + 0.5) / s;
            // Box body and its lid line.
            if (fx >= 4 && fx <= 28 && fy >= 14 && fy <= 29) {
                bool edge = fx < 5 || fx > 27 || fy > 28 || fy < 15;
                bool tape = fx >= 14.5 && fx <= 17.5;
                at(x, y) = edge   ? Rgba{120, 78, 30, 255}
                           : tape ? Rgba{225, 190, 120, 255}
                                  : Rgba{200, 150, 80, 255};
            }
            // Arrow pointing up out of the box.
            bool shaft = fx >= 13 && fx <= 19 && fy >= 9 && fy <= 22;
            bool head = fy >= 2 && fy <= 10 && std::fabs(fx - 16) <= (fy - 2) * 1.1;
            if (shaft || head) at(x, y) = Rgba{58, 134, 197, 255};
        }
    }
    return px;
}

// One icon image: BITMAPINFOHEADER (double height), BGRA rows bottom-up,
// then the AND mask (all zero, the alpha channel decides).
std::vector<uint8_t> IconImage(int size)
{
    std::vector<Rgba> px = IconPixels(size);
    uint32_t maskStride = ((static_cast<uint32_t>(size) + 31) / 32) * 4;
    uint32_t imageSize = static_cast<uint32_t>(size) * size * 4 + maskStride * size;
    std::vector<uint8_t> out;
    PutInfoHeader(out, size, size * 2, 32, imageSize);
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size; ++x) {
            Rgba p = px[static_cast<size_t>(y) * size + x];
            out.push_back(p.b);
            out.push_back(p.g);
            out.push_back(p.r);
            out.push_back(p.a);
        }
    }
    out.insert(out.end(), static_cast<size_t>(maskStride) * size, 0);
    return out;
}

std::vector<uint8_t> Icon(const std::vector<int>& sizes)
{
    std::vector<std::vector<uint8_t>> images;
    for (int s : sizes)
        images.push_back(IconImage(s));
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
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

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    std::string dir = argv[1];
    const int width = 300, height = 27;
    const Rgb top{75, 184, 239}, middle{58, 134, 197}, bottom{146, 183, 214};
    bool ok =
        WriteBytes(dir + "/bar_blue.bmp", Bmp24(width, height, Band(width, height, top, middle, bottom)));
    ok = WriteBytes(dir + "/bar_green.bmp",
                    Bmp24(width, height,
                          Band(width, height, BlueToGreen(top), BlueToGreen(middle), BlueToGreen(bottom)))) &&
         ok;
    ok = WriteBytes(dir + "/zelkorasfx.ico", Icon({16, 32, 48})) && ok;
    if (!ok) {
        std::fprintf(stderr, "cannot write the pictures into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
