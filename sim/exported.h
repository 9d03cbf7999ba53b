// The stand-ins for the vendor's libraries (libsysdb.so, libcmd.so,
// libkvoutils.so) build with hidden visibility, so that a device build
// against them can call nothing the vendor's libraries lack: only the
// definitions marked here, the functions src/platform/ declares, are
// exported. In the static simulated platform the mark changes nothing.
#ifndef KVO_SIM_EXPORTED_H_
#define KVO_SIM_EXPORTED_H_

#define KVO_SIM_EXPORTED __attribute__((visibility("default")))

#endif  // KVO_SIM_EXPORTED_H_
