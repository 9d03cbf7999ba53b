// The kvo-sim commands. Each takes the arguments after its name and returns
// the process's exit code (see cli.h).
#ifndef KVO_TOOLS_KVO_SIM_COMMANDS_H_
#define KVO_TOOLS_KVO_SIM_COMMANDS_H_

#include "kvo_sim/cli.h"

namespace kvo::sim_cli {

int run_init(const Args& args);
int run_set(const Args& args);
int run_get(const Args& args);
int run_list(const Args& args);
int run_power(const Args& args);
int run_config(const Args& args);
int run_clock(const Args& args);
int run_fail(const Args& args);
int run_unfail(const Args& args);

}  // namespace kvo::sim_cli

#endif  // KVO_TOOLS_KVO_SIM_COMMANDS_H_
