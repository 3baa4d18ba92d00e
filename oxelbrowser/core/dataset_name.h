// Dataset names: one word that every file holding it reads back as written
// and that keeps image paths inside the image root.
#pragma once

#include <string>

// Why name cannot be a dataset name ("is empty", "holds white space", ...),
// or an empty string when it can.
std::string dataset_name_problem(const std::string &name);
