#include "bus/unusable_bus.h"

namespace quillon {

int UnusableBus::Fail()
{
    cells_.Publish(ni::ERR, ni::ENEB, 0);
    return ni::ERR;
}

int UnusableBus::ibdev(int, int, int, int, int, int)
{
    Fail();
    return -1;
}

int UnusableBus::ibconfig(int, int, int)
{
    return Fail();
}
int UnusableBus::ibclr(int)
{
    return Fail();
}
int UnusableBus::ibwrt(int, const void*, long)
{
    return Fail();
}
int UnusableBus::ibrd(int, void*, long)
{
    return Fail();
}
int UnusableBus::ibwait(int, int)
{
    return Fail();
}
int UnusableBus::ibrsp(int, char*)
{
    return Fail();
}
int UnusableBus::ibonl(int, int)
{
    return Fail();
}
void UnusableBus::SendIFC(int)
{
    Fail();
}
void UnusableBus::FindLstn(int, const Addr4882*, Addr4882*, int)
{
    Fail();
}
void UnusableBus::DevClearList(int, const Addr4882*)
{
    Fail();
}
void UnusableBus::SendList(int, const Addr4882*, const void*, long, int)
{
    Fail();
}
void UnusableBus::Send(int, Addr4882, const void*, long, int)
{
    Fail();
}
void UnusableBus::Receive(int, Addr4882, void*, long, int)
{
    Fail();
}

int UnusableBus::RegisterGpibGlobalsForThread(int32_t* ibstaCell, int32_t* iberrCell,
                                              int32_t* ibcntCell, int32_t* ibcntlCell)
{
    return cells_.Register(ibstaCell, iberrCell, ibcntCell, ibcntlCell);
}

int UnusableBus::UnregisterGpibGlobalsForThread()
{
    cells_.Unregister();
    return 0;
}

}  // namespace quillon
