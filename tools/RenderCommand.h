#pragma once
// The headless renderer's command line: `adjust` does what the knob panel
// does to a file; `composite` exposes every Composite parameter.

#include <iosfwd>
#include <string>
#include <vector>

// Exit codes: 0 done, 1 a load or save failed, 2 a usage error.
int RunRenderCommand(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);
