// What a flush made durable: after each sync_to_fs the simulated platform
// writes the `flushed` file of its folder, one line for each regular file
// of the device's non-volatile storage (/var/data/kvo) as the flush left it:
//   INODE SIZE CTIME PATH
// with CTIME the change time as seconds and nine decimals, the format of
// `stat -c '%i %s %.9Z %n'`. A file whose line no longer matches was
// written or renamed since (both change CTIME), so a test can tell what a
// power cut would take from the page cache. Deletions are not modelled.
#ifndef KVO_SIM_FLUSH_RECORD_H_
#define KVO_SIM_FLUSH_RECORD_H_

namespace kvo::sim {

// Replaces the folder's `flushed` file with the state of non-volatile
// storage now; false when it cannot be written.
bool record_flush();

}  // namespace kvo::sim

#endif  // KVO_SIM_FLUSH_RECORD_H_
