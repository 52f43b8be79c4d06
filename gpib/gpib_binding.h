// The only path to the GPIB: one operation per driver call, 16-bit numeric
// arguments, texts as std::string. Every operation refreshes ibsta, iberr,
// ibcnt and ibcntl (gpib/ni_global.h); none returns an error of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bus/gpib_driver.h"
#include "gpib/ni_global.h"

namespace quillon {

inline constexpr int16_t kNoAddr16 = -1;  // kNoAddr as a 16-bit list entry

// Chooses the driver behind the binding (done once at start-up, and by each
// test). Resets the registration, so the next operation registers anew.
void SelectGpibDriver(GpibDriver& driver);
GpibDriver* SelectedGpibDriver();
// No driver until the next selection, for when the selected one goes away.
void DeselectGpibDriver();

void GpibOpenDevice(int16_t board, int16_t pad, int16_t sad, int16_t tmo, int16_t eot, int16_t eos,
                    int16_t& ud);
void GpibConfigure(int16_t ud, int16_t option, int16_t value);
void GpibClear(int16_t ud);
void GpibOnline(int16_t ud, int16_t v);
int16_t GpibOnlineStatus(int16_t ud, int16_t v);
void GpibWrite(int16_t ud, const std::string& text);
// The buffer's length is the most the driver may deliver; the first ibcntl
// characters are replaced by the bytes received, the rest keep their content.
void GpibRead(int16_t ud, std::string& buffer);
void GpibWait(int16_t ud, int16_t mask);
void GpibSerialPoll(int16_t ud, int16_t& spr);

// Address lists are 16-bit entries from index 0, ended by kNoAddr16.
void GpibSendIfc(int16_t board);
void GpibFindListeners(int16_t board, const std::vector<int16_t>& padList,
                       std::vector<int16_t>& resultList, int16_t limit);
void GpibClearList(int16_t board, const std::vector<int16_t>& addrList);
void GpibSendList(int16_t board, const std::vector<int16_t>& addrList, const std::string& text,
                  int16_t eotMode);
void GpibSend(int16_t board, int16_t addr, const std::string& text, int16_t eotMode);
void GpibReceive(int16_t board, int16_t addr, std::string& buffer, int16_t termination);

void RegisterStatusCells();
void RefreshGpibStatus();
int16_t LowWordToInt16(int32_t value);

}  // namespace quillon
