// The client of the outline program, and small vector helpers of the split code.
#pragma once

#include "OXEL_pos"
#include "OXEL_roi"

#include <iosfwd>
#include <list>
#include <set>
#include <string>

// The outline program: $OXELBROWSER_OUTLINEGEN when set, else the installed
// one (or, when that is missing, the one beside the running program).
std::string outline_program();

// Sends a width x height pixel block (non-zero: region) to the outline
// program and returns one roi per region it found, with x and y relative to
// the block and z = t = 0. Anything wrong with the program or its answer is
// written as one line to err and gives an empty list.
std::list<roi> run_outline_program(const std::string &program, const unsigned char *canvas,
                                   int width, int height, std::ostream &err);

std::list<roi> makeROIs(unsigned char *canvas, int width, int height);

double inner_product(pos3d a, pos3d b);
// "x y z".
std::ostream &operator<<(std::ostream &out, pos3d p);
// The elements in set order, separated by single blanks.
std::ostream &operator<<(std::ostream &out, std::set<std::string> s);
