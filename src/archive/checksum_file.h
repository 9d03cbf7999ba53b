// The form of an archive's checksum file, the one rule for start-up, the
// simulated platform's check_md5 and kvo-archive: the lines md5sum writes,
// each 32 hexadecimal digits (either case), a space, a space or '*'
// (binary mode), the path and a line feed, optional on the last line.
// Anything else is malformed: an empty file, a blank line, md5sum's
// backslash form for names with special characters. Before its digest is
// worth checking, the file must cover the one file the archive is meant to
// restore.
#ifndef KVO_ARCHIVE_CHECKSUM_FILE_H_
#define KVO_ARCHIVE_CHECKSUM_FILE_H_

#include <string>
#include <vector>

namespace kvo {

struct ChecksumLine {
  std::string digest;  // 32 lower-case hexadecimal digits.
  std::string path;
};

// The lines of the checksum file text `text`; false when it is malformed.
bool parse_checksum_lines(const std::string& text,
                          std::vector<ChecksumLine>* lines);

// True when `lines` are the single line that names `file`.
bool names_only(const std::vector<ChecksumLine>& lines,
                const std::string& file);

// True when the file at `md5_path` is well formed and names only `file`.
// Says nothing of the digest itself. Reads no further than that one line.
bool checksum_names_only(const std::string& md5_path, const std::string& file);

}  // namespace kvo

#endif  // KVO_ARCHIVE_CHECKSUM_FILE_H_
