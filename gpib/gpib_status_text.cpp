#include "gpib/gpib_status_text.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "bus/gpib_driver.h"
#include "common/text_number.h"
#include "gpib/gpib_binding.h"
#include "gpib/ni_global.h"

namespace quillon {

namespace {

struct Named {
    int value;
    const char* text;
};

constexpr Named kStatusBits[] = {
    {ni::ERR, " ERR"},   {ni::TIMO, " TIMO"}, {ni::END, " END"},   {ni::SRQI, " SRQI"},
    {ni::RQS, " RQS"},   {ni::CMPL, " CMPL"}, {ni::LOK, " LOK"},   {ni::REM, " REM"},
    {ni::CIC, " CIC"},   {ni::ATN, " ATN"},   {ni::TACS, " TACS"}, {ni::LACS, " LACS"},
    {ni::DTAS, " DTAS"}, {ni::DCAS, " DCAS"},
};

// Two columns read more easily than one long one.
// clang-format off
constexpr Named kErrors[] = {
    {ni::EDVR, "iberr = EDVR <DOS Error>"},        {ni::ECIC, "iberr = ECIC <Not CIC>"},
    {ni::ENOL, "iberr = ENOL <No Listener>"},      {ni::EADR, "iberr = EADR <Address Error>"},
    {ni::EARG, "iberr = EARG <Invalid argument>"}, {ni::ESAC, "iberr = ESAC <Not Sys Ctrlr>"},
    {ni::EABO, "iberr = EABO <Op. aborted>"},      {ni::ENEB, "iberr = ENEB <No GPIB board>"},
    {ni::EOIP, "iberr = EOIP <Async I/O in prg>"}, {ni::ECAP, "iberr = ECAP <No capability>"},
    {ni::EFSO, "iberr = EFSO <File sys. error>"},  {ni::EBUS, "iberr = EBUS <Command error>"},
    {ni::ESTB, "iberr = ESTB <Status byte lost>"}, {ni::ESRQ, "iberr = ESRQ <SRQ stuck high>"},
    {ni::ETAB, "iberr = ETAB <Table overflow>"},
    // Codes only some drivers give: linux-gpib's EDMA and ECNF (a malformed
    // /etc/gpib.conf), and NI-488.2's newer ones.
    {ni::EDMA, "iberr = EDMA <DMA error>"},        {ni::ECNF, "iberr = ECNF <Config file error>"},
    {ni::ELCK, "iberr = ELCK <Locked>"},           {ni::EARM, "iberr = EARM <Notify not rearmed>"},
    {ni::EHDL, "iberr = EHDL <Invalid handle>"},   {ni::ECFG, "iberr = ECFG <Config conflict>"},
    {ni::EWIP, "iberr = EWIP <Wait in progress>"}, {ni::ERST, "iberr = ERST <Interface reset>"},
    {ni::EPWR, "iberr = EPWR <Power lost>"},
};
// clang-format on

}  // namespace

std::string HexForm(int16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(static_cast<uint16_t>(value)));
    return text;
}

std::string DescribeIbsta()
{
    std::string text(kCrLf);
    text += "ibsta = &H" + HexForm(ibsta) + " <";
    const unsigned bits = static_cast<uint16_t>(ibsta);
    for (const Named& bit : kStatusBits)
        if (bits & static_cast<unsigned>(bit.value)) text += bit.text;
    return text + ">";
}

std::string DescribeIberr()
{
    if (static_cast<uint16_t>(ibsta) & ni::ERR) {
        for (const Named& error : kErrors)
            if (error.value == iberr) return std::string(kCrLf) + error.text;
        return {};
    }
    return std::string(kCrLf) + "No error, iberr = " + SignedDecimal(iberr);
}

std::string DescribeSystemError()
{
    if (!(static_cast<uint16_t>(ibsta) & ni::ERR)) return {};
    std::string text;
    if (iberr == ni::EDVR && ibcntl > 0)
        text = std::string(kCrLf) + "System error: " + std::strerror(ibcntl);
    if (const GpibDriver* driver = SelectedGpibDriver()) {
        const std::string detail = driver->FailureDetail();
        if (!detail.empty()) text += std::string(kCrLf) + detail;
    }
    return text;
}

std::string DescribeFailedCall()
{
    return DescribeIbsta() + DescribeIberr() + DescribeSystemError();
}

std::string DescribeIbcnt()
{
    return std::string(kCrLf) + "ibcnt = 0x" + HexForm(ibcnt);
}

}  // namespace quillon
