// The conversation with the adapter that the driver's calls are made of:
// its set-up, lines sent, answers and reads taken within their bounds, and
// serial polls.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <system_error>

#include "bus/prologix_driver.h"

namespace quillon {

namespace {

// ++read_tmo_ms takes 1 to 3000.
constexpr int kAdapterReadLimit = 3000;

// A serial poll's answer line; none for anything else.
std::optional<uint8_t> StatusByteOf(const std::string& line)
{
    unsigned value = 0;
    const char* end = line.data() + line.size();
    const auto [stop, failure] = std::from_chars(line.data(), end, value);
    if (failure != std::errc() || stop != end || line.size() > 3 || value > 255)
        return std::nullopt;
    return static_cast<uint8_t>(value);
}

std::string Escaped(std::string_view data)
{
    std::string line;
    line.reserve(data.size() + 8);
    for (const char c : data) {
        // Unescaped, CR and LF end the line, ESC escapes and "++" starts a
        // command of the adapter's own.
        if (c == '\r' || c == '\n' || c == '\x1b' || c == '+') line += '\x1b';
        line += c;
    }
    return line;
}

}  // namespace

struct PrologixDriver::Exchange {
    AdapterDeadline deadline;
    std::size_t limit = kPrologixExchangeBytes;
    std::size_t taken = 0;
};

int PrologixDriver::Connect()
{
    reconnectDue_ = false;
    stream_.reset();
    inbox_.clear();
    currentAddress_ = currentReadTimeout_ = currentEoi_ = -1;
    holdovers_.clear();
    requests_.clear();
    listening_.clear();

    const AdapterDeadline connectionDeadline = DeadlineAfter(timeouts_.connectMilliseconds);
    AdapterStreamOpening opening = connector_();
    if (!opening.stream) {
        lostError_ = opening.error != 0 ? opening.error : EIO;
        connectFailure_ = opening.reason.empty() ? std::strerror(lostError_) : opening.reason;
        return lostError_;
    }
    stream_ = std::move(opening.stream);

    // First, none of what follows is stored in the adapter's EEPROM: it
    // would otherwise rewrite it at every change of address or read
    // time-out, and wear it out. Then: controller; no read after every
    // write; EOI with the last byte and nothing appended to it; after a read
    // that ended with EOI, the end mark, which tells us the read is over
    // without waiting for silence. An adapter that knows the end mark says
    // so when asked for it.
    const std::string setUp[] = {"++savecfg 0", "++mode 1",       "++auto 0",     "++eoi 1",
                                 "++eos 3",     "++eot_enable 1", "++eot_char 4", "++eot_char",
                                 "++ver",       "++ver"};
    int error = 0;
    for (const std::string& line : setUp)
        if ((error = SendLine(line)) != 0) break;
    currentEoi_ = 1;
    // Whatever stale output comes first, the first line that repeats is
    // the adapter's own version line. The adapter has what is left of the
    // connection time to give it, and at least the time of any answer.
    Exchange exchange{std::max(connectionDeadline, DeadlineAfter(timeouts_.replyMilliseconds))};
    std::string beforeVersion;
    std::string previous;
    std::string line;
    while (error == 0) {
        error = ReceiveLine(line, exchange);
        if (error == 0 && !line.empty() && line == previous) break;
        beforeVersion = previous;
        previous = line;
    }
    if (error != 0) {
        stream_.reset();
        lostError_ = error;
        connectFailure_ = error == ETIMEDOUT
                              ? "it does not answer the ++ver command; is it a Prologix adapter, "
                                "and is nothing else connected to it?"
                          : error == EMSGSIZE ? lossReason_
                                              : std::strerror(error);
        return error;
    }
    version_ = line;
    endMark_ = beforeVersion == std::to_string(static_cast<int>(kPrologixEndMark));
    lostError_ = 0;
    connectFailure_.clear();
    return 0;
}

int PrologixDriver::Begin()
{
    if (!stream_) return lostError_ != 0 ? lostError_ : ENOTCONN;
    // Late bytes of a read given up on are dropped; a closed connection
    // shows here, before anything is sent into it; and an adapter that is
    // still sending after the reply time is out of step.
    Exchange exchange{DeadlineAfter(timeouts_.replyMilliseconds)};
    for (;;) {
        inbox_.clear();
        const int error = Take(exchange, 0);
        if (error == ETIMEDOUT) return 0;
        if (error != 0) return error;
        if (MillisecondsLeft(exchange.deadline) == 0) return ETIMEDOUT;
    }
}

int PrologixDriver::SendLine(const std::string& line)
{
    return stream_->Send(line + "\n", timeouts_.replyMilliseconds);
}

int PrologixDriver::Address(int address)
{
    if (address == currentAddress_) return 0;
    const int secondary = (address >> 8) & 0xFF;
    std::string line = "++addr " + std::to_string(address & 0xFF);
    if (secondary != 0) line += " " + std::to_string(secondary);
    const int error = SendLine(line);
    if (error == 0) currentAddress_ = address;
    return error;
}

int PrologixDriver::AdapterReadTimeout(int milliseconds)
{
    if (milliseconds == currentReadTimeout_) return 0;
    const int error = SendLine("++read_tmo_ms " + std::to_string(milliseconds));
    if (error == 0) currentReadTimeout_ = milliseconds;
    return error;
}

int PrologixDriver::Eoi(bool on)
{
    if (currentEoi_ == (on ? 1 : 0)) return 0;
    const int error = SendLine(on ? "++eoi 1" : "++eoi 0");
    if (error == 0) currentEoi_ = on ? 1 : 0;
    return error;
}

int PrologixDriver::WriteData(int address, std::string_view data, bool eoi)
{
    // A device that is told something new drops what it had to say.
    holdovers_.erase(address);
    paces_[address].Sent(clock_.TickCount());
    if (data.empty()) return 0;
    if (int error = Address(address)) return error;
    if (int error = Eoi(eoi)) return error;
    return SendLine(Escaped(data));
}

int PrologixDriver::Take(Exchange& exchange, int milliseconds)
{
    const std::size_t before = inbox_.size();
    const int error = stream_->Receive(inbox_, milliseconds);
    exchange.taken += inbox_.size() - before;
    if (exchange.taken > exchange.limit) {
        inbox_.clear();
        lossReason_ =
            "the adapter sent more than " + std::to_string(exchange.limit) + " bytes in one answer";
        return EMSGSIZE;
    }
    return error;
}

int PrologixDriver::TakeInTime(Exchange& exchange)
{
    // The poll alone would never end an answer whose bytes keep coming.
    if (std::chrono::steady_clock::now() >= exchange.deadline) return ETIMEDOUT;
    return Take(exchange, MillisecondsLeft(exchange.deadline));
}

int PrologixDriver::ReceiveLine(std::string& line, Exchange& exchange)
{
    for (;;) {
        const auto newline = inbox_.find('\n');
        if (newline != std::string::npos) {
            line = inbox_.substr(0, newline);
            inbox_.erase(0, newline + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return 0;
        }
        if (int error = TakeInTime(exchange)) return error;
    }
}

int PrologixDriver::Ask(const std::string& command, int busMilliseconds,
                        std::vector<std::string>& answer)
{
    // The version line after the command marks the end of its answer, so
    // an answer of no lines at all (a serial poll nobody answered) costs
    // no waiting.
    inbox_.clear();
    const std::string lines = command.empty() ? "++ver" : command + "\n++ver";
    if (int error = SendLine(lines)) return error;
    return CollectUntilVersion(busMilliseconds + timeouts_.replyMilliseconds, answer);
}

int PrologixDriver::CollectUntilVersion(int milliseconds, std::vector<std::string>& answer)
{
    Exchange exchange{DeadlineAfter(milliseconds)};
    for (;;) {
        std::string line;
        if (int error = ReceiveLine(line, exchange)) return error;
        if (line == version_) return 0;
        answer.push_back(line);
    }
}

int PrologixDriver::Synchronise()
{
    std::vector<std::string> none;
    return Ask({}, 0, none);
}

int PrologixDriver::SerialPoll(int address, int probeMilliseconds,
                               std::optional<uint8_t>& statusByte)
{
    statusByte.reset();
    if (int error = Address(address)) return error;
    if (int error = AdapterReadTimeout(probeMilliseconds)) return error;
    std::vector<std::string> lines;
    if (int error = Ask("++spoll", probeMilliseconds, lines)) return error;
    for (const std::string& line : lines)
        if (const auto polled = StatusByteOf(line)) statusByte = polled;
    return 0;
}

int PrologixDriver::PollStatus(int address, int probeMilliseconds,
                               std::optional<uint8_t>& statusByte)
{
    statusByte.reset();
    if (int error = Address(address)) return error;
    if (int error = AdapterReadTimeout(probeMilliseconds)) return error;
    if (int error = SendLine("++spoll")) return error;
    const int answerMilliseconds = probeMilliseconds + timeouts_.replyMilliseconds;
    Exchange exchange{DeadlineAfter(answerMilliseconds)};
    std::string line;
    int error = ReceiveLine(line, exchange);
    if (error == ETIMEDOUT) {
        // Nobody answered, or the adapter is slow: what comes before its
        // version line tells, and the stream is in step again after it.
        std::vector<std::string> late;
        error = SendLine("++ver");
        if (error == 0) error = CollectUntilVersion(answerMilliseconds, late);
        if (error == 0 && !late.empty()) line = late.back();
    }
    if (error != 0) return error;
    statusByte = StatusByteOf(line);
    return 0;
}

int PrologixDriver::LookForRequest(int address, int probeMilliseconds, bool& byLine)
{
    std::optional<uint8_t> statusByte;
    if (!byLine) {
        if (int error = PollStatus(address, probeMilliseconds, statusByte)) return error;
        byLine = !statusByte;
    }
    if (byLine) {
        // The adapter tells only whether SRQ is asserted, by anyone; a
        // serial poll tells whether it is our device.
        std::vector<std::string> lines;
        if (int error = Ask("++srq", 0, lines)) return error;
        if (std::find(lines.begin(), lines.end(), "1") != lines.end())
            if (int error = SerialPoll(address, probeMilliseconds, statusByte)) return error;
    }
    if (statusByte && (*statusByte & kRequestingService)) requests_[address] = *statusByte;
    return 0;
}

int PrologixDriver::ReadTimeoutFor(int timeLimit) const
{
    const int most = std::clamp(timeouts_.adapterReadMilliseconds, 1, kAdapterReadLimit);
    const int64_t microseconds = ni::TimeLimitMicroseconds(timeLimit);
    if (microseconds <= 0) return most;
    return static_cast<int>(std::clamp<int64_t>((microseconds + 999) / 1000, 1, most));
}

PrologixDriver::ReadOutcome PrologixDriver::Read(int address, int timeLimit, char* buffer,
                                                 long count, int stopByte)
{
    ReadOutcome outcome;
    auto held = holdovers_.find(address);
    if (held == holdovers_.end()) {
        if (count == 0) return outcome;
        const int adapterMilliseconds = ReadTimeoutFor(timeLimit);
        int error = Address(address);
        if (error == 0) error = AdapterReadTimeout(adapterMilliseconds);
        if (error == 0) error = SendLine("++read eoi");
        if (error != 0) {
            outcome.lostError = error;
            return outcome;
        }
        // The adapter gives up after its own time-out with no byte, and the
        // reply comes after the service request, at the bus's speed: the
        // whole of it is in within that time and a little for the network.
        Exchange exchange{DeadlineAfter(adapterMilliseconds + timeouts_.replyMilliseconds),
                          std::max(kPrologixExchangeBytes, static_cast<std::size_t>(count) + 1)};
        Holdover message;
        bool silent = false;
        for (;;) {
            // Without the adapter's end mark, the line feed the meter sends
            // with EOI ends its reply.
            const auto mark = inbox_.find(endMark_ ? kPrologixEndMark : '\n');
            if (mark != std::string::npos) {
                message.bytes = inbox_.substr(0, endMark_ ? mark : mark + 1);
                inbox_.erase(0, mark + 1);
                message.end = true;
                break;
            }
            error = TakeInTime(exchange);
            if (error == ETIMEDOUT) {
                message.bytes.swap(inbox_);
                inbox_.clear();
                silent = true;
                break;
            }
            if (error != 0) {
                outcome.lostError = error;
                return outcome;
            }
        }
        // Nothing tells whether the adapter gave up or stopped answering:
        // it must answer now, or the stream is out of step.
        if (silent && (error = Synchronise()) != 0) {
            outcome.lostError = error;
            return outcome;
        }
        if (message.bytes.empty()) {
            outcome.timedOut = true;
            return outcome;
        }
        held = holdovers_.emplace(address, std::move(message)).first;
    }

    Holdover& message = held->second;
    std::size_t take =
        std::min(static_cast<std::size_t>(std::max(count, 0L)), message.bytes.size());
    bool stopped = false;
    if (stopByte >= 0) {
        const auto stop = message.bytes.find(static_cast<char>(stopByte));
        if (stop != std::string::npos && stop < take) {
            take = stop + 1;
            stopped = true;
        }
    }
    std::memcpy(buffer, message.bytes.data(), take);
    outcome.count = static_cast<long>(take);
    const bool all = take == message.bytes.size();
    outcome.end = stopped || (all && message.end);
    if (all) {
        // A message cut off by the adapter's time-out, shorter than asked.
        outcome.timedOut = !outcome.end && outcome.count < count;
        holdovers_.erase(held);
    } else {
        message.bytes.erase(0, take);
    }
    return outcome;
}

}  // namespace quillon
