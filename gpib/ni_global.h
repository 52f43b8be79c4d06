// Status of the last bus operation, shared by every caller on the user
// interface thread.
#pragma once

#include <cstdint>

namespace quillon {

extern int16_t ibsta;   // status word; ERR is its sign bit
extern int16_t iberr;   // error code, meaningful while ibsta has ERR
extern int16_t ibcnt;   // low word of ibcntl, read as a signed number
extern int32_t ibcntl;  // count of the last operation; the driver's own cell

// Cells the driver writes for the registering thread.
extern int32_t ibstaCell;
extern int32_t iberrCell;
extern int32_t ibcntCell;

// 1 once the cells are registered with the driver, otherwise 0.
extern int16_t statusCellsRegistered;

}  // namespace quillon
