// spotscan: prints the outline of every bright object of one image.
#include "binConv.h"
#include "image.h"
#include "roiDetect.h"

#include <iostream>
#include <string>

using namespace spotscan;

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::cerr << "usage: spotscan IMAGE.jpg" << std::endl;
        return 2;
    }
    std::string name = argv[1];
    image img;
    binConv::convert(80, name, img);
    roiDetect detector;
    detector.detect(img);
    detector.print();
    return 0;
}
