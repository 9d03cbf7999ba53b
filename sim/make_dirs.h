// mkdir -p for the platform's kvo_mkdir_create_parents.
#ifndef KVO_SIM_MAKE_DIRS_H_
#define KVO_SIM_MAKE_DIRS_H_

namespace kvo::sim {

// Creates `path` and its missing parents; true when `path` is a directory
// afterwards, whoever created it. Repeated and trailing slashes are fine.
bool make_dirs(const char* path);

}  // namespace kvo::sim

#endif  // KVO_SIM_MAKE_DIRS_H_
