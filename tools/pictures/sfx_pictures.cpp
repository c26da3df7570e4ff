// The extractor's pictures: the progress bar's band in blue (shown) and in
// green, and the program icon.

#include <cmath>

#include "picture_files.h"

namespace pictures {

namespace {

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

} // namespace

bool WriteExtractorPictures(const std::string& folder)
{
    const int width = 300, height = 27;
    const Rgb top{75, 184, 239}, middle{58, 134, 197}, bottom{146, 183, 214};
    bool ok = WriteBytes(folder + "/bar_blue.bmp", Bmp24(width, height, Band(width, height, top, middle, bottom)));
    ok = WriteBytes(folder + "/bar_green.bmp",
                    Bmp24(width, height,
                          Band(width, height, BlueToGreen(top), BlueToGreen(middle), BlueToGreen(bottom)))) &&
         ok;
    return WriteBytes(folder + "/zelkorasfx.ico", IconFile({16, 32, 48}, IconImage)) && ok;
}

} // namespace pictures
