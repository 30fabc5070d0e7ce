#include <iostream>
#include <string>
#include <vector>

#include "tools/typelib_fixup/typelib_fixup.h"

int main(int argc, char** argv) {
  return zu::typelib::RunTypelibFixup(std::vector<std::string>(argv + 1, argv + argc), std::cerr);
}
