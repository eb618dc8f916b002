// The environment the tools run in, checked once at start: a value the
// sibling libraries would silently ignore (and so fall back to their
// default) or a folder that does not exist is worth a warning, since the
// user set it for a reason. The libraries themselves are left alone: they
// keep their documented defaults.
#ifndef KUTTOOLS_ENVIRONMENT_H
#define KUTTOOLS_ENVIRONMENT_H

#include <string>
#include <vector>

namespace kuttools {

// One line per doubtful variable, each naming the variable and its value:
//   KOPTS_LANGUAGE  not "<logic>,<output>" with two whole numbers (the
//                   library then uses 1,1), a number outside 1..32767, or
//                   text after the second number (which is ignored);
//   KOPTS_UNITS     anything but "nonmetric" or "metric" (the library then
//                   uses metric units);
//   KBASE_ROOT, KBASE_DIR_0 .. KBASE_DIR_15
//                   a folder that does not exist (or is no folder).
// Unset and empty variables are the defaults and never warned about.
std::vector<std::string> EnvironmentWarnings();

}  // namespace kuttools

#endif
