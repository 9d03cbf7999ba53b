#include "archive/tar_member_rule.h"

#include <limits.h>
#include <sys/stat.h>

namespace kvo {

TarMember judge_tar_member(const char* path, mode_t type, bool hard_link) {
  TarMember member;
  if (path == nullptr) {
    member.refusal = "a member without a name";
    return member;
  }
  std::string text(path);
  if (text.compare(0, 2, "./") == 0) text.erase(0, 2);
  if ((text.empty() || text == ".") && type == S_IFDIR) {
    member.verdict = MemberVerdict::kSkip;
  } else if (hard_link) {
    member.refusal = "hard link " + text;
  } else if (type == S_IFLNK) {
    member.refusal = "symbolic link " + text;
  } else if (type == S_IFCHR || type == S_IFBLK) {
    member.refusal = "device node " + text;
  } else if (type != S_IFREG) {
    member.refusal = "not a regular file: " + text;
  } else if (text.empty() || text == "." || text == ".." ||
             text.find('/') != std::string::npos || text.size() > NAME_MAX) {
    member.refusal = "unsafe name " + std::string(path);
  } else {
    member.verdict = MemberVerdict::kTake;
    member.name = text;
  }
  return member;
}

}  // namespace kvo
