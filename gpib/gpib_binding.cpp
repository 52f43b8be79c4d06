#include "gpib/gpib_binding.h"

#include <algorithm>
#include <cassert>

namespace quillon {

namespace {

GpibDriver* selectedDriver = nullptr;

GpibDriver& Driver()
{
    assert(selectedDriver && "SelectGpibDriver must run before the first bus operation");
    return *selectedDriver;
}

// Every operation: register if needed, call the driver, refresh the status.
template <typename Call>
void Operate(Call call)
{
    if (statusCellsRegistered == 0) RegisterStatusCells();
    call(Driver());
    RefreshGpibStatus();
}

// The driver reads a list up to its first kNoAddr; a closing kNoAddr of our
// own keeps it inside the caller's entries even when the caller forgot one.
std::vector<Addr4882> DriverAddressList(const std::vector<int16_t>& list)
{
    std::vector<Addr4882> copy(list.begin(), list.end());
    copy.push_back(kNoAddr);
    return copy;
}

}  // namespace

void SelectGpibDriver(GpibDriver& driver)
{
    selectedDriver = &driver;
    statusCellsRegistered = 0;
    ibsta = iberr = ibcnt = 0;
    ibcntl = ibstaCell = iberrCell = ibcntCell = 0;
}

GpibDriver* SelectedGpibDriver()
{
    return selectedDriver;
}

void DeselectGpibDriver()
{
    selectedDriver = nullptr;
    statusCellsRegistered = 0;
}

int16_t LowWordToInt16(int32_t value)
{
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFFu));
}

void RegisterStatusCells()
{
    GpibDriver& driver = Driver();
    int answer = driver.RegisterGpibGlobalsForThread(&ibstaCell, &iberrCell, &ibcntCell, &ibcntl);
    if (answer == 0) {
        statusCellsRegistered = 1;
        return;
    }
    if (answer == 1) {
        driver.UnregisterGpibGlobalsForThread();
        driver.RegisterGpibGlobalsForThread(&ibstaCell, &iberrCell, &ibcntCell, &ibcntl);
        statusCellsRegistered = 1;
        return;
    }
    if (answer == 2 || answer == 3) driver.UnregisterGpibGlobalsForThread();
    statusCellsRegistered = 0;
    ibsta = static_cast<int16_t>(ni::ERR);
    iberr = ni::EDVR;
    ibcntl = static_cast<int32_t>(0xDEAD37F0u);
    ibcnt = LowWordToInt16(ibcntl);
}

void RefreshGpibStatus()
{
    if (statusCellsRegistered != 1) return;
    ibsta = LowWordToInt16(ibstaCell);
    iberr = static_cast<int16_t>(iberrCell);
    ibcnt = LowWordToInt16(ibcntl);
}

void GpibOpenDevice(int16_t board, int16_t pad, int16_t sad, int16_t tmo, int16_t eot, int16_t eos,
                    int16_t& ud)
{
    Operate([&](GpibDriver& d) { ud = LowWordToInt16(d.ibdev(board, pad, sad, tmo, eot, eos)); });
}

void GpibConfigure(int16_t ud, int16_t option, int16_t value)
{
    Operate([&](GpibDriver& d) { d.ibconfig(ud, option, value); });
}

void GpibClear(int16_t ud)
{
    Operate([&](GpibDriver& d) { d.ibclr(ud); });
}

void GpibOnline(int16_t ud, int16_t v)
{
    Operate([&](GpibDriver& d) { d.ibonl(ud, v); });
}

int16_t GpibOnlineStatus(int16_t ud, int16_t v)
{
    int16_t result = 0;
    Operate([&](GpibDriver& d) { result = LowWordToInt16(d.ibonl(ud, v)); });
    return result;
}

void GpibWrite(int16_t ud, const std::string& text)
{
    Operate([&](GpibDriver& d) { d.ibwrt(ud, text.data(), static_cast<long>(text.size())); });
}

void GpibRead(int16_t ud, std::string& buffer)
{
    Operate([&](GpibDriver& d) { d.ibrd(ud, buffer.data(), static_cast<long>(buffer.size())); });
}

void GpibWait(int16_t ud, int16_t mask)
{
    Operate([&](GpibDriver& d) { d.ibwait(ud, mask); });
}

void GpibSerialPoll(int16_t ud, int16_t& spr)
{
    char statusByte[2] = {0, 0};
    Operate([&](GpibDriver& d) {
        d.ibrsp(ud, statusByte);
        spr = static_cast<unsigned char>(statusByte[0]);
    });
}

void GpibSendIfc(int16_t board)
{
    Operate([&](GpibDriver& d) { d.SendIFC(board); });
}

void GpibFindListeners(int16_t board, const std::vector<int16_t>& padList,
                       std::vector<int16_t>& resultList, int16_t limit)
{
    std::vector<Addr4882> pads = DriverAddressList(padList);
    // The driver may fill `limit` entries whatever the caller's list holds.
    std::vector<Addr4882> results(std::max<std::size_t>(
        resultList.size(), static_cast<std::size_t>(std::max<int16_t>(limit, 0))));
    std::copy(resultList.begin(), resultList.end(), results.begin());
    Operate([&](GpibDriver& d) { d.FindLstn(board, pads.data(), results.data(), limit); });
    for (std::size_t i = 0; i < resultList.size(); ++i)
        resultList[i] = static_cast<int16_t>(results[i]);
}

void GpibClearList(int16_t board, const std::vector<int16_t>& addrList)
{
    std::vector<Addr4882> list = DriverAddressList(addrList);
    Operate([&](GpibDriver& d) { d.DevClearList(board, list.data()); });
}

void GpibSendList(int16_t board, const std::vector<int16_t>& addrList, const std::string& text,
                  int16_t eotMode)
{
    std::vector<Addr4882> list = DriverAddressList(addrList);
    Operate([&](GpibDriver& d) {
        d.SendList(board, list.data(), text.data(), static_cast<long>(text.size()), eotMode);
    });
}

void GpibSend(int16_t board, int16_t addr, const std::string& text, int16_t eotMode)
{
    Operate([&](GpibDriver& d) {
        d.Send(board, static_cast<Addr4882>(addr), text.data(), static_cast<long>(text.size()),
               eotMode);
    });
}

void GpibReceive(int16_t board, int16_t addr, std::string& buffer, int16_t termination)
{
    Operate([&](GpibDriver& d) {
        d.Receive(board, static_cast<Addr4882>(addr), buffer.data(),
                  static_cast<long>(buffer.size()), termination);
    });
}

}  // namespace quillon
