// The kvo-archive commands; each takes the arguments after its name and
// returns the exit status.
#ifndef KVO_TOOLS_KVO_ARCHIVE_COMMANDS_H_
#define KVO_TOOLS_KVO_ARCHIVE_COMMANDS_H_

#include "kvo_archive/cli.h"

namespace kvo::archive_tool {

int run_list(const Args& args);
int run_verify(const Args& args);
int run_dump(const Args& args);
int run_last(const Args& args);

}  // namespace kvo::archive_tool

#endif  // KVO_TOOLS_KVO_ARCHIVE_COMMANDS_H_
