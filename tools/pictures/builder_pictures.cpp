// The builder's pictures: the side picture of the welcome and completion
// pages, the two progress-bar images and the program icon.

#include <cmath>

#include "picture_files.h"

namespace pictures {

namespace {

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

} // namespace

bool WriteBuilderPictures(const std::string& folder)
{
    return WriteBytes(folder + "/side.bmp", Bmp8(128, 246, SidePicture(128, 246), SidePalette())) &&
           WriteBytes(folder + "/bar_compress.bmp",
                      Bmp24(300, 27, BarImage(300, 27, Rgb{20, 70, 160}, Rgb{150, 200, 250}))) &&
           WriteBytes(folder + "/bar_verify.bmp",
                      Bmp24(300, 27, BarImage(300, 27, Rgb{20, 120, 50}, Rgb{150, 230, 160}))) &&
           WriteBytes(folder + "/zelkora.ico", IconFile({16, 32, 48}, IconImage));
}

} // namespace pictures
