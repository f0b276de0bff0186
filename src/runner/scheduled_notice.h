#pragma once
// The desktop notice of a scheduled run that did not begin: one line naming the reason, handed
// to the desktop's notify-send. The schedule's own notice stays for the runs that began and
// failed; it leaves these to this one (the runner ends them with kExitDidNotStart).

#include <string>

namespace vlm {

// The exit code of a scheduled run that did not begin and has told the desktop why.
inline constexpr int kExitDidNotStart = 3;

// Shows `line` as a critical notice of the program, and prints it on standard error. Returns
// without waiting long: no notify-send, no bus, no notice.
void SendScheduledNotice(const std::string& line);

}  // namespace vlm
