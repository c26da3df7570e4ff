// Draws a program's pictures at build time, on the build machine:
//   make_pictures builder|sfx OUTPUT_FOLDER
// builder: side.bmp, bar_compress.bmp, bar_verify.bmp, zelkora.ico;
// sfx: bar_blue.bmp, bar_green.bmp, zelkorasfx.ico.

#include <cstdio>
#include <cstring>

#include "picture_files.h"

int main(int argc, char** argv)
{
    bool builder = argc == 3 && std::strcmp(argv[1], "builder") == 0;
    bool sfx = argc == 3 && std::strcmp(argv[1], "sfx") == 0;
    if (!builder && !sfx) {
        std::fprintf(stderr, "usage: make_pictures builder|sfx OUTPUT_FOLDER\n");
        return 2;
    }
    bool ok = builder ? pictures::WriteBuilderPictures(argv[2]) : pictures::WriteExtractorPictures(argv[2]);
    if (!ok) {
        std::fprintf(stderr, "make_pictures: cannot write the pictures into %s\n", argv[2]);
        return 1;
    }
    return 0;
}
