// The command line: the service has no option besides help, and any option
// at all answers with the usage text.
#ifndef KVO_SERVICE_OPTIONS_H_
#define KVO_SERVICE_OPTIONS_H_

#include <cstdio>

namespace kvo {

// True when the command line holds any option, known or not; the caller
// then prints the usage text and exits 0. Non-option arguments are ignored.
bool usage_requested(int argc, char** argv);

// Prints "Usage: <base name of argv0> [Options]..." to `out`.
void print_usage(std::FILE* out, const char* argv0);

}  // namespace kvo

#endif  // KVO_SERVICE_OPTIONS_H_
