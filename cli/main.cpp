#include <iostream>
#include <string>

#include "cli/commands.h"

int main(int argc, char** argv) {
  cli::Args args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "inspect")
    return cli::inspectCommand(cli::Args(args.begin() + 1, args.end()),
                               std::cout, std::cerr);
  std::cout << "dimmark-cli\n";
  return 0;
}
