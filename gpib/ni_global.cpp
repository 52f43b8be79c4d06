#include "gpib/ni_global.h"

namespace quillon {

int16_t ibsta = 0;
int16_t iberr = 0;
int16_t ibcnt = 0;
int32_t ibcntl = 0;

int32_t ibstaCell = 0;
int32_t iberrCell = 0;
int32_t ibcntCell = 0;

int16_t statusCellsRegistered = 0;

}  // namespace quillon
