#include <iostream>
#include <string>
#include <vector>

#include "tools/zuframe/frame_tool.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return zu::RunFrameTool(args, std::cout, std::cerr);
}
