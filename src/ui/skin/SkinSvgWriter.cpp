// A build tool for the builds that render the skin ahead of time (the Windows one): writes the
// SVG of every picture into a folder as <number>.svg and prints one line per picture,
// "<number> <width> <height>" (pixels at 100 %), for skin/RenderSkin.cmake.
// Usage: kestrow-skin-svg FOLDER
#include <cstdio>
#include <fstream>
#include <string>

#include "ui/skin/Pictures.h"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kestrow-skin-svg FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    for (const kestrow::ui::PictureSize& p : kestrow::ui::PictureSizes()) {
        const std::string svg = kestrow::ui::PictureSvg(p.id);
        const std::string name = folder + "/" + std::to_string(p.id) + ".svg";
        std::ofstream file(name, std::ios::binary);
        file << svg;
        if (svg.empty() || !file.flush()) {
            std::fprintf(stderr, "kestrow-skin-svg: %s could not be written\n", name.c_str());
            return 1;
        }
        std::printf("%d %d %d\n", p.id, p.width, p.height);
    }
    return 0;
}
