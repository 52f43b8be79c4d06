// Readable lines for the status of the last bus operation. Each non-empty
// text starts with CR LF so that the texts can be joined one per line.
#pragma once

#include <string>

namespace quillon {

std::string DescribeIbsta();
std::string DescribeIberr();
std::string DescribeIbcnt();
// For a driver error, the system's own reason, which says what a user can do
// about it (a missing device file or /etc/gpib.conf, no permission, a board
// that is not configured): "System error: No such file or directory"; and
// for any failed call, the driver's own words about it, on a line of their
// own. Empty for any other status.
std::string DescribeSystemError();

// The status of a call that failed, as the messages about it give it: the
// ibsta, iberr and system-error texts one after the other.
std::string DescribeFailedCall();

// Upper-case hexadecimal without leading zeros; negative values as their
// 16-bit two's complement (-1 gives FFFF).
std::string HexForm(int16_t value);

}  // namespace quillon
