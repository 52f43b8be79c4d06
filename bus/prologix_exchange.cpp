// The conversation with the adapter that the driver's calls are made of:
// its set-up in the firmware's own commands, lines sent, answers and reads
// taken within their bounds, and serial polls.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <system_error>

#include "bus/prologix_driver.h"

namespace quillon {

namespace {

// ++read_tmo_ms takes 1 to 3000 (Prologix; AR488 more).
constexpr int kAdapterReadLimit = 3000;
// After questions asked before the adapter was up, the answers still coming
// come back to back; this long without a byte, there are no more.
constexpr int kSettleQuietMilliseconds = 50;

// An AR488 in verbose mode puts its prompt before what it prints next.
std::string WithoutPrompts(std::string line)
{
    while (line.rfind("> ", 0) == 0) line.erase(0, 2);
    return line;
}

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
    messageReady_.clear();
    listening_.clear();

    const AdapterDeadline connectionDeadline = DeadlineAfter(timeouts_.connectMilliseconds);
    AdapterStreamOpening opening = connector_();
    if (!opening.stream) {
        lostError_ = opening.error != 0 ? opening.error : EIO;
        connectFailure_ = opening.reason.empty() ? std::strerror(lostError_) : opening.reason;
        return lostError_;
    }
    stream_ = std::move(opening.stream);

    // The adapter has what is left of the connection time for its answers,
    // and at least the time of any answer.
    const AdapterDeadline deadline =
        std::max(connectionDeadline, DeadlineAfter(timeouts_.replyMilliseconds));
    int asked = 0;
    bool echoes = false;
    int error = Identify(deadline, asked, echoes);
    // Questions asked before the adapter was up may be answered yet.
    if (error == 0 && asked > 1) error = Settle(deadline);
    if (error == 0 && echoes && firmware_.family == AdapterFirmwareFamily::Ar488)
        error = EndEcho(deadline);
    if (error == 0) error = SetUp(deadline);
    if (error != 0) {
        stream_.reset();
        inbox_.clear();
        lostError_ = error;
        connectFailure_ = error == ETIMEDOUT
                              ? "it does not answer the ++ver command; is it a Prologix adapter, "
                                "and is nothing else connected to it?"
                          : error == EMSGSIZE ? lossReason_
                                              : std::strerror(error);
        return error;
    }
    lostError_ = 0;
    connectFailure_.clear();
    return 0;
}

int PrologixDriver::Identify(AdapterDeadline deadline, int& asked, bool& echoes)
{
    // Whatever stale output comes first, the first line that repeats is the
    // adapter's own version line; an AR488 in verbose mode echoes the
    // question before it.
    Exchange exchange{deadline};
    std::string previous;
    for (;;) {
        if (int error = SendLine("++ver\n++ver")) return error;
        ++asked;
        exchange.deadline =
            std::min(deadline, DeadlineAfter(std::max(timeouts_.versionRetryMilliseconds, 1)));
        for (;;) {
            std::string line;
            const int error = ReceiveLine(line, exchange);
            if (error == ETIMEDOUT) break;
            if (error != 0) return error;
            line = WithoutPrompts(line);
            if (line == "++ver") {
                echoes = true;
            } else if (!line.empty() && line == previous) {
                version_ = line;
                firmware_ = FirmwareOfVersionLine(version_);
                // What follows the version line on it is an AR488's prompt.
                inbox_.clear();
                return 0;
            } else {
                previous = line;
            }
        }
        if (MillisecondsLeft(deadline) == 0) return ETIMEDOUT;
    }
}

int PrologixDriver::Settle(AdapterDeadline deadline)
{
    Exchange exchange{deadline};
    for (;;) {
        inbox_.clear();
        const int quiet = std::min(kSettleQuietMilliseconds, MillisecondsLeft(deadline));
        const int error = Take(exchange, quiet);
        if (error == ETIMEDOUT) return 0;
        if (error != 0) return error;
        if (MillisecondsLeft(deadline) == 0) return ETIMEDOUT;
    }
}

int PrologixDriver::EndEcho(AdapterDeadline deadline)
{
    // ++verbose turns the echo, the prompts and the explanations on or off,
    // whichever they were, and says which.
    for (int turn = 0; turn < 2; ++turn) {
        std::vector<std::string> answer;
        if (int error = SendLine("++verbose\n++ver")) return error;
        if (int error = CollectUntilVersion(deadline, answer)) return error;
        for (const std::string& line : answer)
            if (WithoutPrompts(line) == "Verbose: OFF") return 0;
    }
    return 0;
}

int PrologixDriver::SetUp(AdapterDeadline deadline)
{
    const int readTimeout = AdapterReadMilliseconds(timeouts_.listenerProbeMilliseconds);
    const std::vector<std::string> commands = SetUpCommands(firmware_, readTimeout);
    // Each batch ends with the version question, whose answer says that the
    // adapter has carried out all of it: a small buffer that holds one batch
    // then loses nothing, however long a command takes (++mode waits 80 ms
    // on AR488).
    const std::size_t most = SetUpBatchBytes(firmware_);
    const std::string confirmation = "++ver";
    std::string batch;
    std::vector<std::string> answer;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        batch += commands[i] + "\n";
        const bool last = i + 1 == commands.size();
        const bool full = !last && most > 0 &&
                          batch.size() + commands[i + 1].size() + confirmation.size() + 2 > most;
        if (!last && !full) continue;
        answer.clear();
        if (int error = SendLine(batch + confirmation)) return error;
        if (int error = CollectUntilVersion(deadline, answer)) return error;
        batch.clear();
    }
    // The last command asked for the end mark: an adapter that knows it
    // answers just before the version line.
    endMark_ =
        !answer.empty() && answer.back() == std::to_string(static_cast<int>(kPrologixEndMark));
    currentEoi_ = 1;
    currentReadTimeout_ = readTimeout;
    return 0;
}

int PrologixDriver::Begin()
{
    if (!stream_) return lostError_ != 0 ? lostError_ : ENOTCONN;
    return Drain();
}

int PrologixDriver::Drain()
{
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
    milliseconds = AdapterReadMilliseconds(milliseconds);
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
    messageReady_.erase(address);
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
    if (int error = Drain()) return error;
    const std::string lines = command.empty() ? "++ver" : command + "\n++ver";
    if (int error = SendLine(lines)) return error;
    return CollectUntilVersion(DeadlineAfter(busMilliseconds + timeouts_.replyMilliseconds),
                               answer);
}

int PrologixDriver::CollectUntilVersion(AdapterDeadline deadline, std::vector<std::string>& answer)
{
    Exchange exchange{deadline};
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
    if (int error = Ask("++spoll", AdapterReadMilliseconds(probeMilliseconds), lines)) return error;
    for (const std::string& line : lines)
        if (const auto polled = StatusByteOf(line)) statusByte = polled;
    return 0;
}

int PrologixDriver::PollStatus(int address, int probeMilliseconds,
                               std::optional<uint8_t>& statusByte)
{
    statusByte.reset();
    // Between the polls of a wait, the adapter has had time to say what was
    // not asked.
    if (int error = Drain()) return error;
    if (int error = Address(address)) return error;
    if (int error = AdapterReadTimeout(probeMilliseconds)) return error;
    if (int error = SendLine("++spoll")) return error;
    const int answerMilliseconds =
        AdapterReadMilliseconds(probeMilliseconds) + timeouts_.replyMilliseconds;
    Exchange exchange{DeadlineAfter(answerMilliseconds)};
    std::string line;
    int error = 0;
    // A line that is no status byte is not the answer.
    while (error == 0 && !statusByte) {
        error = ReceiveLine(line, exchange);
        if (error == 0) statusByte = StatusByteOf(line);
    }
    if (error == ETIMEDOUT) {
        // Nobody answered, or the adapter is slow: what comes before its
        // version line tells, and the stream is in step again after it.
        std::vector<std::string> late;
        error = SendLine("++ver");
        if (error == 0) error = CollectUntilVersion(DeadlineAfter(answerMilliseconds), late);
        for (const std::string& answer : late)
            if (const auto polled = StatusByteOf(answer)) statusByte = polled;
    }
    return error;
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
    const int most = AdapterReadMilliseconds(timeouts_.adapterReadMilliseconds);
    const int64_t microseconds = ni::TimeLimitMicroseconds(timeLimit);
    if (microseconds <= 0) return most;
    return AdapterReadMilliseconds(
        static_cast<int>(std::clamp<int64_t>((microseconds + 999) / 1000, 1, most)));
}

int PrologixDriver::AdapterReadMilliseconds(int milliseconds) const
{
    const int least = std::min(LeastReadTimeoutMilliseconds(firmware_), kAdapterReadLimit);
    return std::clamp(milliseconds, least, kAdapterReadLimit);
}

PrologixDriver::ReadOutcome PrologixDriver::Read(int address, int timeLimit, char* buffer,
                                                 long count, int stopByte)
{
    ReadOutcome outcome;
    const bool ready = messageReady_.erase(address) > 0;
    auto held = holdovers_.find(address);
    if (held == holdovers_.end()) {
        if (count == 0) return outcome;
        int adapterMilliseconds = ReadTimeoutFor(timeLimit);
        // A device with its message ready talks at once: it needs no more
        // time than its polls are given, and the adapter's time-out is left
        // as it is where that is enough.
        if (ready)
            adapterMilliseconds =
                std::min(adapterMilliseconds,
                         std::max(currentReadTimeout_,
                                  AdapterReadMilliseconds(timeouts_.listenerProbeMilliseconds)));
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
