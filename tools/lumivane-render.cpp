#include "tools/RenderCommand.h"

#include <iostream>

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    return RunRenderCommand(args, std::cout, std::cerr);
}
