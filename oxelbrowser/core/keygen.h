// Browser keys: t, z, x, y as key fields (three digits below 1000, longer
// fields self-delimiting), so that all ROIs of one image plane sort together
// in every container of the browser.
#pragma once

#include "OXEL_pos"

#include <string>

// a in decimal, padded on the left with '0' to at least three characters
// (the number fields of image and outline file names).
std::string digit3(int a);
std::string keygen(pos4i p);
// The position of a browser key; fields missing from a short key read as 0.
pos4i decode(std::string key);
// Whether key is the key of a position with no negative field, exactly as
// keygen writes it (the keys files may name).
bool is_position_key(const std::string &key);
// What every key of time point t begins with, in both key layouts: keys of
// t sort from it up to (not including) time_key(t + 1).
std::string time_key(int t);
