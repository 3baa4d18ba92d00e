// Browser keys: t, z, x, y as fields of at least three digits, so that all
// ROIs of one image plane sort together in every container of the browser.
#pragma once

#include "OXEL_pos"

#include <string>

// a in decimal, padded on the left with '0' to at least three characters.
std::string digit3(int a);
std::string keygen(pos4i p);
// The position of a browser key; fields missing from a short key read as 0.
pos4i decode(std::string key);
