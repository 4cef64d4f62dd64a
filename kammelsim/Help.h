// What kammelsim --help says, its ranges and run options from the options' tables.
#pragma once

#include <string>

namespace kammelsim {

std::string Usage();

}  // namespace kammelsim
