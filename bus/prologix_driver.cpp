#include "bus/prologix_driver.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace quillon {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kDeviceOk = ni::CMPL;
constexpr int kBoardOk = ni::CMPL | ni::CIC;
constexpr int kBoard = 0;
constexpr uint8_t kRequestingService = 0x40;
// ++read_tmo_ms takes 1 to 3000.
constexpr int kAdapterReadLimit = 3000;

SteadyClock::time_point After(int milliseconds)
{
    return SteadyClock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
}

int MillisecondsLeft(SteadyClock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now())
            .count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// poll() that is not ended early by a signal.
int PollFor(int fd, short events, SteadyClock::time_point deadline, short& revents)
{
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, MillisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR) continue;
        revents = entry.revents;
        return ready;
    }
}

// A socket or a serial line, both file descriptors read and written
// without blocking and waited on with poll().
class DescriptorStream final : public AdapterStream {
public:
    DescriptorStream(int fd, bool socket) : fd_(fd), socket_(socket) {}
    ~DescriptorStream() override
    {
        // A USB serial port waits on close until its output has drained, up
        // to 30 s; output that a failed write left behind is of no use now.
        if (!socket_) ::tcflush(fd_, TCOFLUSH);
        ::close(fd_);
    }
    DescriptorStream(const DescriptorStream&) = delete;
    DescriptorStream& operator=(const DescriptorStream&) = delete;

    int Send(std::string_view bytes, int milliseconds) override
    {
        const auto deadline = After(milliseconds);
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            // A socket whose peer has gone must not raise SIGPIPE.
            const ssize_t written =
                socket_ ? ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL)
                        : ::write(fd_, bytes.data() + sent, bytes.size() - sent);
            if (written > 0) {
                sent += static_cast<std::size_t>(written);
                continue;
            }
            if (written < 0 && errno == EINTR) continue;
            if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return Closed(errno);
            short revents = 0;
            const int ready = PollFor(fd_, POLLOUT, deadline, revents);
            if (ready < 0) return errno;
            if (ready == 0) return ETIMEDOUT;
            if (!(revents & POLLOUT)) return ClosedError();
        }
        return 0;
    }

    int Receive(std::string& into, int milliseconds) override
    {
        const auto deadline = After(milliseconds);
        for (;;) {
            short revents = 0;
            const int ready = PollFor(fd_, POLLIN, deadline, revents);
            if (ready < 0) return errno;
            if (ready == 0) return ETIMEDOUT;
            char chunk[4096];
            const ssize_t got =
                socket_ ? ::recv(fd_, chunk, sizeof chunk, 0) : ::read(fd_, chunk, sizeof chunk);
            if (got > 0) {
                into.append(chunk, static_cast<std::size_t>(got));
                return 0;
            }
            if (got == 0) return ClosedError();
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (revents & (POLLHUP | POLLERR)) return ClosedError();
                continue;
            }
            return Closed(errno);
        }
    }

private:
    // What the user reads when the other end has gone: the network peer
    // reset the connection, or the serial adapter was unplugged.
    int ClosedError() const { return socket_ ? ECONNRESET : ENODEV; }
    int Closed(int error) const { return !socket_ && error == EIO ? ENODEV : error; }

    int fd_;
    bool socket_;
};

bool AllDigits(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
}

// A serial poll's answer line; none for anything else.
std::optional<uint8_t> StatusByteOf(const std::string& line)
{
    if (!AllDigits(line) || line.size() > 3 || std::stoi(line) > 255) return std::nullopt;
    return static_cast<uint8_t>(std::stoi(line));
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

std::string Bytes(const void* data, long count)
{
    return count > 0 ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(count))
                     : std::string();
}

// A name lookup shared between the caller and the thread that makes it.
struct PendingLookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    int result = 0;
    int error = 0;
    addrinfo* found = nullptr;
};

// The addresses of HOST:PORT in `found`, or false with the failure in
// `opening`. The name service may take far longer than the connection may
// (a resolver that does not answer is asked again and again, for many
// seconds), and getaddrinfo() cannot be stopped: the lookup runs on a thread
// of its own, which is left to finish alone when time is up.
bool LookUpAddresses(const std::string& host, int port, SteadyClock::time_point deadline,
                     const NameLookup& lookup, addrinfo*& found, AdapterStreamOpening& opening)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | AI_NUMERICHOST;
    const std::string service = std::to_string(port);
    // An address written out needs no name service.
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) == 0) return true;
    hints.ai_flags = AI_NUMERICSERV;

    auto pending = std::make_shared<PendingLookup>();
    const NameLookup ask = lookup ? lookup : NameLookup(::getaddrinfo);
    try {
        std::thread([pending, ask, host, service, hints] {
            addrinfo* answer = nullptr;
            const int result = ask(host.c_str(), service.c_str(), &hints, &answer);
            const int error = errno;
            std::lock_guard<std::mutex> lock(pending->mutex);
            if (pending->abandoned) {
                if (result == 0 && answer) ::freeaddrinfo(answer);
                return;
            }
            pending->finished = true;
            pending->result = result;
            pending->error = error;
            pending->found = answer;
            pending->done.notify_all();
        }).detach();
    } catch (const std::system_error& failure) {
        opening.error = failure.code().value();
        opening.reason = "the name " + host + " could not be looked up: " + failure.what();
        return false;
    }

    std::unique_lock<std::mutex> lock(pending->mutex);
    if (!pending->done.wait_until(lock, deadline, [&] { return pending->finished; })) {
        pending->abandoned = true;
        opening.error = ETIMEDOUT;
        opening.reason = "the name service did not find " + host +
                         " in time; give the adapter's numeric address instead, or check the "
                         "network's name server.";
        return false;
    }
    if (pending->result != 0) {
        const bool system = pending->result == EAI_SYSTEM;
        opening.error = system ? pending->error : EHOSTUNREACH;
        opening.reason =
            system ? std::strerror(opening.error) : std::string(::gai_strerror(pending->result));
        return false;
    }
    found = pending->found;
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Streams

AdapterStreamOpening ConnectTcpStream(const std::string& host, int port, int timeoutMilliseconds,
                                      const NameLookup& lookup)
{
    AdapterStreamOpening opening;
    const auto deadline = After(timeoutMilliseconds);
    addrinfo* found = nullptr;
    if (!LookUpAddresses(host, port, deadline, lookup, found, opening)) return opening;
    int error = ETIMEDOUT;
    for (addrinfo* address = found; address; address = address->ai_next) {
        const int fd =
            ::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                     address->ai_protocol);
        if (fd < 0) {
            error = errno;
            continue;
        }
        bool connected = ::connect(fd, address->ai_addr, address->ai_addrlen) == 0;
        if (!connected && errno == EINPROGRESS) {
            short revents = 0;
            const int ready = PollFor(fd, POLLOUT, deadline, revents);
            if (ready > 0) {
                int socketError = 0;
                socklen_t length = sizeof socketError;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &socketError, &length);
                connected = socketError == 0;
                error = socketError;
            } else {
                error = ready == 0 ? ETIMEDOUT : errno;
            }
        } else if (!connected) {
            error = errno;
        }
        if (connected) {
            // The service-request polls are small and each waits for its
            // answer: no coalescing delay.
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            opening.stream = std::make_unique<DescriptorStream>(fd, true);
            break;
        }
        ::close(fd);
    }
    ::freeaddrinfo(found);
    if (!opening.stream) {
        opening.error = error;
        opening.reason = std::strerror(error);
    }
    return opening;
}

AdapterStreamOpening OpenSerialStream(const std::string& devicePath)
{
    AdapterStreamOpening opening;
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        opening.error = errno;
        opening.reason = std::strerror(errno);
        return opening;
    }
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        opening.error = errno;
        opening.reason = std::strerror(errno);
        ::close(fd);
        return opening;
    }
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B115200);
    ::cfsetospeed(&settings, B115200);
    settings.c_cflag =
        (settings.c_cflag & ~(CSIZE | CSTOPB | PARENB | CRTSCTS)) | CS8 | CLOCAL | CREAD;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        opening.error = errno;
        opening.reason = std::strerror(errno);
        ::close(fd);
        return opening;
    }
    ::tcflush(fd, TCIOFLUSH);
    opening.stream = std::make_unique<DescriptorStream>(fd, false);
    return opening;
}

std::optional<PrologixLocation> ParsePrologixLocation(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::nullopt;
    const std::string value = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    PrologixLocation location;
    if (value[0] == '/') {
        location.devicePath = value;
        return location;
    }
    std::string portText;
    if (value[0] == '[') {
        const auto close = value.find(']');
        if (close == std::string::npos || close == 1) return std::nullopt;
        location.host = value.substr(1, close - 1);
        const std::string rest = value.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':') return std::nullopt;
            portText = rest.substr(1);
            if (portText.empty()) return std::nullopt;
        }
    } else {
        const auto colon = value.find(':');
        if (colon != std::string::npos && value.find(':', colon + 1) != std::string::npos) {
            location.host = value;  // a bare IPv6 address
        } else if (colon != std::string::npos) {
            location.host = value.substr(0, colon);
            portText = value.substr(colon + 1);
            if (portText.empty()) return std::nullopt;
        } else {
            location.host = value;
        }
    }
    if (location.host.empty() ||
        std::any_of(location.host.begin(), location.host.end(),
                    [](unsigned char c) { return std::isspace(c) || c == '/'; }))
        return std::nullopt;
    if (!portText.empty()) {
        if (!AllDigits(portText) || portText.size() > 5) return std::nullopt;
        location.port = std::stoi(portText);
        if (location.port < 1 || location.port > 65535) return std::nullopt;
    }
    return location;
}

std::string PrologixLocationText(const PrologixLocation& location)
{
    if (!location.devicePath.empty()) return location.devicePath;
    const bool ipv6 = location.host.find(':') != std::string::npos;
    return (ipv6 ? "[" + location.host + "]" : location.host) + ":" + std::to_string(location.port);
}

AdapterConnector LocationConnector(const PrologixLocation& location,
                                   const PrologixTimeouts& timeouts)
{
    return [location, timeouts] {
        if (!location.devicePath.empty()) return OpenSerialStream(location.devicePath);
        return ConnectTcpStream(location.host, location.port, timeouts.connectMilliseconds);
    };
}

// ---------------------------------------------------------------------------
// The driver

PrologixDriver::PrologixDriver(AdapterConnector connector, std::string adapterName, Clock& clock,
                               PrologixTimeouts timeouts)
    : connector_(std::move(connector)),
      adapterName_(std::move(adapterName)),
      clock_(clock),
      timeouts_(timeouts)
{
}

PrologixDriver::~PrologixDriver() = default;

struct PrologixDriver::Exchange {
    SteadyClock::time_point deadline;
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

    const auto connectionDeadline = After(timeouts_.connectMilliseconds);
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
    Exchange exchange{std::max(connectionDeadline, After(timeouts_.replyMilliseconds))};
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

int PrologixDriver::Finish(int status, int error, long count)
{
    if (!(status & ni::ERR)) error = 0;
    cells_.Publish(status, error, static_cast<int32_t>(count));
    return status;
}

int PrologixDriver::Lose(int errorNumber)
{
    // A connection that was there is worth one more try; one that could
    // not be made again is not, until a run or a query begins.
    if (stream_) reconnectDue_ = true;
    if (errorNumber != EMSGSIZE) lossReason_ = std::strerror(errorNumber);
    stream_.reset();
    inbox_.clear();
    holdovers_.clear();
    requests_.clear();
    lostError_ = errorNumber;
    return Finish(ni::ERR, ni::EDVR, errorNumber);
}

int PrologixDriver::EnsureConnected()
{
    return stream_ ? 0 : Connect();
}

int PrologixDriver::ReconnectIfDue()
{
    if (stream_ || !reconnectDue_) return 0;
    return Connect();
}

bool PrologixDriver::OnBoard(int board)
{
    if (board == kBoard) return true;
    Finish(ni::ERR, ni::ENEB, 0);
    return false;
}

int PrologixDriver::Begin()
{
    if (!stream_) return lostError_ != 0 ? lostError_ : ENOTCONN;
    // Late bytes of a read given up on are dropped; a closed connection
    // shows here, before anything is sent into it; and an adapter that is
    // still sending after the reply time is out of step.
    Exchange exchange{After(timeouts_.replyMilliseconds)};
    for (;;) {
        inbox_.clear();
        const int error = Take(exchange, 0);
        if (error == ETIMEDOUT) return 0;
        if (error != 0) return error;
        if (MillisecondsLeft(exchange.deadline) == 0) return ETIMEDOUT;
    }
}

PrologixDriver::Descriptor* PrologixDriver::FindDescriptor(int ud)
{
    const auto found = descriptors_.find(ud);
    return found == descriptors_.end() ? nullptr : &found->second;
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
    if (SteadyClock::now() >= exchange.deadline) return ETIMEDOUT;
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
    Exchange exchange{After(milliseconds)};
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
    Exchange exchange{After(answerMilliseconds)};
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
        Exchange exchange{After(adapterMilliseconds + timeouts_.replyMilliseconds),
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

void PrologixDriver::Forget(int address)
{
    holdovers_.erase(address);
    requests_.erase(address);
}

bool PrologixDriver::KnownAbsent(int address) const
{
    const auto found = listening_.find(address);
    return found != listening_.end() && !found->second;
}

int PrologixDriver::ibdev(int board, int pad, int sad, int tmo, int eot, int eos)
{
    if (!OnBoard(board)) return -1;
    const bool validSad = sad == 0 || (sad >= 0x60 && sad <= 0x7E);
    if (pad < 0 || pad > 30 || !validSad || ni::TimeLimitMicroseconds(tmo) < 0 ||
        (eot != 0 && eot != 1)) {
        Finish(ni::ERR, ni::EARG, 0);
        return -1;
    }
    // Opening a device is where a run begins: a connection lost in an
    // earlier run is tried again here.
    if (int error = EnsureConnected()) {
        Finish(ni::ERR, ni::EDVR, error);
        return -1;
    }
    const int ud = nextDescriptor_++;
    descriptors_[ud] = Descriptor{pad | (sad << 8), tmo, eot == 1, eos};
    // An instrument switched on since a poll found its address silent is
    // given its chance again.
    listening_.erase(pad | (sad << 8));
    Finish(kDeviceOk, 0, 0);
    return ud;
}

int PrologixDriver::ibconfig(int ud, int option, int /*value*/)
{
    if (!FindDescriptor(ud)) return Finish(ni::ERR, ni::EDVR, 0);
    // The adapter unaddresses the bus after each transfer on its own.
    if (option != ni::IbcUnAddr) return Finish(ni::ERR, ni::ECAP, 0);
    return Finish(kDeviceOk, 0, 0);
}

int PrologixDriver::ibclr(int ud)
{
    const Descriptor* descriptor = FindDescriptor(ud);
    if (!descriptor) return Finish(ni::ERR, ni::EDVR, 0);
    const int address = descriptor->address;
    // A clear puts the device in a known state again: after a loss it is
    // where a new connection carries on (a write or a wait in the middle of
    // a point's exchange would carry on as if nothing had been lost), and
    // the way back to idle begins with it.
    if (int error = ReconnectIfDue()) return Lose(error);
    if (int error = Begin()) return Lose(error);
    if (KnownAbsent(address)) return Finish(ni::ERR, ni::ENOL, 0);
    int error = Address(address);
    if (error == 0) error = SendLine("++clr");
    if (error != 0) return Lose(error);
    Forget(address);
    return Finish(kDeviceOk, 0, 0);
}

int PrologixDriver::ibwrt(int ud, const void* data, long count)
{
    const Descriptor* descriptor = FindDescriptor(ud);
    if (!descriptor) return Finish(ni::ERR, ni::EDVR, 0);
    if (count < 0) return Finish(ni::ERR, ni::EARG, 0);
    const int address = descriptor->address;
    if (int error = Begin()) return Lose(error);
    if (KnownAbsent(address)) return Finish(ni::ERR, ni::ENOL, 0);
    if (int error = WriteData(address, Bytes(data, count), descriptor->eot)) return Lose(error);
    return Finish(kDeviceOk, 0, count);
}

int PrologixDriver::ibrd(int ud, void* buffer, long count)
{
    const Descriptor* descriptor = FindDescriptor(ud);
    if (!descriptor) return Finish(ni::ERR, ni::EDVR, 0);
    if (count < 0) return Finish(ni::ERR, ni::EARG, 0);
    const Descriptor target = *descriptor;
    if (int error = Begin()) return Lose(error);
    const int stopByte = (target.eos & 0xFF) != 0 ? (target.eos & 0xFF) : -1;
    const ReadOutcome outcome =
        Read(target.address, target.timeLimit, static_cast<char*>(buffer), count, stopByte);
    if (outcome.lostError != 0) return Lose(outcome.lostError);
    if (outcome.timedOut) return Finish(ni::ERR | ni::TIMO | kDeviceOk, ni::EABO, outcome.count);
    return Finish(kDeviceOk | (outcome.end ? ni::END : 0), 0, outcome.count);
}

int PrologixDriver::ibwait(int ud, int mask)
{
    const Descriptor* descriptor = FindDescriptor(ud);
    if (!descriptor) return Finish(ni::ERR, ni::EDVR, 0);
    if (mask & ~(ni::TIMO | ni::END | ni::RQS | ni::CMPL)) return Finish(ni::ERR, ni::EARG, 0);
    if (!(mask & (ni::RQS | ni::TIMO))) return Finish(kDeviceOk, 0, 0);
    const Descriptor target = *descriptor;
    // Without a time limit the wait is still bounded, by the longest one.
    int64_t limitMicroseconds = ni::TimeLimitMicroseconds(target.timeLimit);
    if (limitMicroseconds <= 0) limitMicroseconds = ni::TimeLimitMicroseconds(17);
    const uint32_t limit = static_cast<uint32_t>(limitMicroseconds / 1000);
    if (!(mask & ni::RQS)) {
        clock_.Sleep(limit);
        return Finish(kDeviceOk | ni::TIMO, 0, 0);
    }
    if (int error = Begin()) return Lose(error);
    // What was sent before the wait reaches the device before the wait's
    // time runs, and a lost connection shows now rather than after it.
    if (!requests_.count(target.address))
        if (int error = Synchronise()) return Lose(error);

    // The meter's pace: the time it took to ask for service after it was
    // last told something is mostly slept through, then it is polled.
    RequestPace& pace = paces_[target.address];
    // A device that is there answers a serial poll at once.
    const int probe = timeouts_.listenerProbeMilliseconds;
    bool byLine = KnownAbsent(target.address);
    const uint32_t start = clock_.TickCount();
    std::optional<uint32_t> polled;
    for (;;) {
        if (requests_.count(target.address)) return Finish(kDeviceOk | ni::RQS, 0, 0);
        const uint32_t elapsed = clock_.TickCount() - start;
        if (elapsed >= limit) return Finish(kDeviceOk | ni::TIMO, 0, 0);
        const uint32_t pause = pace.PauseBeforePoll(clock_.TickCount(), start, polled);
        if (pause > 0) clock_.Sleep(std::min(pause, limit - elapsed));
        polled = clock_.TickCount();
        if (int error = LookForRequest(target.address, probe, byLine)) return Lose(error);
        if (requests_.count(target.address)) pace.Requested(*polled);
    }
}

int PrologixDriver::ibrsp(int ud, char* statusByte)
{
    const Descriptor* descriptor = FindDescriptor(ud);
    if (!descriptor) return Finish(ni::ERR, ni::EDVR, 0);
    const Descriptor target = *descriptor;
    if (int error = Begin()) return Lose(error);
    const auto request = requests_.find(target.address);
    if (request != requests_.end()) {
        statusByte[0] = static_cast<char>(request->second);
        requests_.erase(request);
        return Finish(kDeviceOk, 0, 1);
    }
    std::optional<uint8_t> polled;
    if (int error = SerialPoll(target.address, ReadTimeoutFor(target.timeLimit), polled))
        return Lose(error);
    listening_[target.address] = polled.has_value();
    if (!polled) return Finish(ni::ERR | ni::TIMO, ni::EABO, 0);
    statusByte[0] = static_cast<char>(*polled);
    return Finish(kDeviceOk, 0, 1);
}

int PrologixDriver::ibonl(int ud, int value)
{
    if (ud == kBoard) {
        // Nothing to release on the adapter; the answer tells that it is
        // still there.
        if (int error = Begin()) return Lose(error);
        if (int error = Synchronise()) return Lose(error);
        return Finish(kBoardOk, 0, 0);
    }
    if (ud > kBoard && ud < kFirstDeviceDescriptor) return Finish(ni::ERR, ni::ENEB, 0);
    const Descriptor* descriptor = FindDescriptor(ud);
    if (!descriptor) return Finish(ni::ERR, ni::EDVR, 0);
    if (value != 0) return Finish(kDeviceOk, 0, 0);
    const int address = descriptor->address;
    descriptors_.erase(ud);
    // The instrument's front panel is the user's again; and everything the
    // run sent has been taken by the adapter once it answers.
    if (int error = Begin()) return Lose(error);
    int error = Address(address);
    if (error == 0) error = SendLine("++loc");
    if (error == 0) error = Synchronise();
    if (error != 0) return Lose(error);
    return Finish(kDeviceOk, 0, 0);
}

void PrologixDriver::SendIFC(int board)
{
    if (!OnBoard(board)) return;
    // The query begins here: a lost connection is tried again.
    int error = EnsureConnected();
    if (error == 0) error = Begin();
    if (error == 0) error = SendLine("++ifc");
    if (error != 0) {
        Lose(error);
        return;
    }
    holdovers_.clear();
    requests_.clear();
    Finish(kBoardOk, 0, 0);
}

void PrologixDriver::FindLstn(int board, const Addr4882* padList, Addr4882* resultList, int limit)
{
    if (!OnBoard(board)) return;
    if (int error = Begin()) {
        Lose(error);
        return;
    }
    // A device that answers a serial poll is there; the adapter has no
    // other way to see a listener.
    long found = 0;
    for (const Addr4882* entry = padList; *entry != kNoAddr; ++entry) {
        const int address = *entry;
        std::optional<uint8_t> statusByte;
        if (int error = SerialPoll(address, timeouts_.listenerProbeMilliseconds, statusByte)) {
            Lose(error);
            return;
        }
        listening_[address] = statusByte.has_value();
        if (!statusByte) continue;
        if (*statusByte & kRequestingService) requests_[address] = *statusByte;
        if (found == limit) {
            Finish(ni::ERR | kBoardOk, ni::ETAB, found);
            return;
        }
        resultList[found++] = *entry;
    }
    Finish(kBoardOk, 0, found);
}

void PrologixDriver::DevClearList(int board, const Addr4882* addrList)
{
    if (!OnBoard(board)) return;
    if (int error = Begin()) {
        Lose(error);
        return;
    }
    std::vector<int> targets;
    if (*addrList == kNoAddr) {
        // The adapter has no universal clear: every device found is
        // cleared on its own.
        for (const auto& [address, present] : listening_)
            if (present) targets.push_back(address);
    } else {
        for (const Addr4882* entry = addrList; *entry != kNoAddr; ++entry) {
            if (KnownAbsent(*entry)) {
                Finish(ni::ERR, ni::ENOL, 0);
                return;
            }
            targets.push_back(*entry);
        }
    }
    for (const int address : targets) {
        int error = Address(address);
        if (error == 0) error = SendLine("++clr");
        if (error != 0) {
            Lose(error);
            return;
        }
        Forget(address);
    }
    Finish(kBoardOk, 0, 0);
}

void PrologixDriver::SendList(int board, const Addr4882* addrList, const void* data, long count,
                              int eotMode)
{
    if (!OnBoard(board)) return;
    if (count < 0 || (eotMode != ni::NULLend && eotMode != ni::NLend && eotMode != ni::DABend)) {
        Finish(ni::ERR, ni::EARG, 0);
        return;
    }
    if (int error = Begin()) {
        Lose(error);
        return;
    }
    std::string text = Bytes(data, count);
    if (eotMode == ni::NLend) text += '\n';
    std::vector<int> listeners;
    for (const Addr4882* entry = addrList; *entry != kNoAddr; ++entry)
        if (!KnownAbsent(*entry)) listeners.push_back(*entry);
    if (listeners.empty()) {
        Finish(ni::ERR, ni::ENOL, 0);
        return;
    }
    for (const int address : listeners) {
        if (int error = WriteData(address, text, eotMode != ni::NULLend)) {
            Lose(error);
            return;
        }
    }
    Finish(kBoardOk, 0, static_cast<long>(text.size()));
}

void PrologixDriver::Send(int board, Addr4882 addr, const void* data, long count, int eotMode)
{
    const Addr4882 list[] = {addr, kNoAddr};
    SendList(board, list, data, count, eotMode);
}

void PrologixDriver::Receive(int board, Addr4882 addr, void* buffer, long count, int termination)
{
    if (!OnBoard(board)) return;
    if (count < 0) {
        Finish(ni::ERR, ni::EARG, 0);
        return;
    }
    if (int error = Begin()) {
        Lose(error);
        return;
    }
    const int stopByte =
        termination != ni::STOPend && (termination & 0xFF) != 0 ? (termination & 0xFF) : -1;
    const ReadOutcome outcome = Read(addr, ni::T10s, static_cast<char*>(buffer), count, stopByte);
    if (outcome.lostError != 0) {
        Lose(outcome.lostError);
        return;
    }
    if (outcome.timedOut) {
        Finish(ni::ERR | ni::TIMO | kBoardOk, ni::EABO, outcome.count);
        return;
    }
    Finish(kBoardOk | (outcome.end ? ni::END : 0), 0, outcome.count);
}

int PrologixDriver::RegisterGpibGlobalsForThread(int32_t* ibstaCell, int32_t* iberrCell,
                                                 int32_t* ibcntCell, int32_t* ibcntlCell)
{
    return cells_.Register(ibstaCell, iberrCell, ibcntCell, ibcntlCell);
}

int PrologixDriver::UnregisterGpibGlobalsForThread()
{
    cells_.Unregister();
    return 0;
}

PrologixOpening OpenPrologixAdapter(const std::string& text, Clock& clock,
                                    const PrologixTimeouts& timeouts)
{
    PrologixOpening opening;
    const std::optional<PrologixLocation> location = ParsePrologixLocation(text);
    if (!location) {
        opening.refusal = "\"prologix:" + text +
                          "\" names no Prologix adapter: give HOST, HOST:PORT or the path of a "
                          "serial device.";
        return opening;
    }
    auto driver = std::make_unique<PrologixDriver>(
        LocationConnector(*location, timeouts), PrologixLocationText(*location), clock, timeouts);
    if (driver->Connect() != 0) {
        opening.refusal = "The Prologix adapter at " + driver->adapterName() +
                          " could not be used: " + driver->connectFailure();
        return opening;
    }
    opening.driver = std::move(driver);
    return opening;
}

}  // namespace quillon
