#include "sim/simulated_prologix_adapter.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <stdexcept>

namespace quillon {

namespace {

std::vector<std::string> Words(const std::string& line)
{
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) words.push_back(word);
    return words;
}

int Argument(const std::vector<std::string>& words, std::size_t index, int fallback)
{
    return words.size() > index ? std::atoi(words[index].c_str()) : fallback;
}

// The shortest NI time limit that covers the adapter's read time-out.
int TimeLimitCode(int milliseconds)
{
    for (int code = 1; code <= 17; ++code)
        if (ni::TimeLimitMicroseconds(code) >= int64_t{milliseconds} * 1000) return code;
    return 17;
}

}  // namespace

SimulatedPrologixAdapter::SimulatedPrologixAdapter(SimulatedBus& bus,
                                                   std::vector<SimulatedDevice*> requesters,
                                                   Link link)
    : bus_(bus), requesters_(std::move(requesters)), link_(link)
{
    if (::pipe2(wakeFds_, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    if (link_ == Link::Tcp) {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t length = sizeof address;
        if (listenFd_ < 0 ||
            ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listenFd_, 4) != 0 ||
            ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("cannot listen on 127.0.0.1");
        port_ = ntohs(address.sin_port);
    } else {
        ptyFd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (ptyFd_ < 0 || ::grantpt(ptyFd_) != 0 || ::unlockpt(ptyFd_) != 0)
            throw std::runtime_error("cannot open a pseudo-terminal");
        ptyPath_ = ::ptsname(ptyFd_);
        ptySlaveFd_ = ::open(ptyPath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    thread_ = std::thread([this] { Serve(); });
}

SimulatedPrologixAdapter::~SimulatedPrologixAdapter()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    released_.notify_all();
    const char wake = 'x';
    [[maybe_unused]] const ssize_t written = ::write(wakeFds_[1], &wake, 1);
    thread_.join();
    for (int fd : {listenFd_, ptyFd_, ptySlaveFd_, wakeFds_[0], wakeFds_[1]})
        if (fd >= 0) ::close(fd);
}

std::string SimulatedPrologixAdapter::Location() const
{
    return link_ == Link::Tcp ? "127.0.0.1:" + std::to_string(port_) : ptyPath_;
}

std::vector<std::string> SimulatedPrologixAdapter::Lines() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

std::string SimulatedPrologixAdapter::Received() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

int SimulatedPrologixAdapter::Connections() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_;
}

int SimulatedPrologixAdapter::CountOf(const std::string& line) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(std::count(lines_.begin(), lines_.end(), line));
}

int SimulatedPrologixAdapter::StoredConfigurations() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return storedConfigurations_;
}

void SimulatedPrologixAdapter::SetAnswerDelay(int milliseconds)
{
    std::lock_guard<std::mutex> lock(mutex_);
    answerDelay_ = milliseconds;
}

void SimulatedPrologixAdapter::SetKnowsEndMark(bool known)
{
    std::lock_guard<std::mutex> lock(mutex_);
    knowsEndMark_ = known;
}

void SimulatedPrologixAdapter::Hold(bool on)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = on;
    }
    released_.notify_all();
}

void SimulatedPrologixAdapter::MisbehaveAt(Misbehaviour way, const std::string& command,
                                           int occurrence, bool lasting)
{
    std::lock_guard<std::mutex> lock(mutex_);
    misbehaviour_ = way;
    misbehaveCommand_ = command;
    misbehaveOccurrence_ = occurrence;
    misbehaveSeen_ = 0;
    misbehaviourLasts_ = lasting;
    misbehavedAt_ = -1;
}

int SimulatedPrologixAdapter::MisbehavedAt() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return misbehavedAt_;
}

bool SimulatedPrologixAdapter::WaitWhileHeld()
{
    std::unique_lock<std::mutex> lock(mutex_);
    released_.wait(lock, [this] { return !held_ || stopping_; });
    return !stopping_;
}

void SimulatedPrologixAdapter::Serve()
{
    // Counts come back through the bus's status cells, as for any caller.
    int32_t status = 0, error = 0, count = 0, countLong = 0;
    bus_.RegisterGpibGlobalsForThread(&status, &error, &count, &countLong);
    countLong_ = &countLong;

    if (link_ == Link::PseudoTerminal) {
        ServeConnection(ptyFd_);
        return;
    }
    for (;;) {
        pollfd waits[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0) continue;
        if (waits[1].revents) return;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        // An answer and the version line after it go out at once.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++connections_;
        }
        const bool stop = ServeConnection(fd);
        ::close(fd);
        if (stop) return;
    }
}

bool SimulatedPrologixAdapter::ServeConnection(int fd)
{
    std::string line;
    std::vector<bool> escaped;
    bool escapeNext = false;
    for (;;) {
        pollfd waits[2] = {{fd, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0) continue;
        if (waits[1].revents) return true;
        if (!WaitWhileHeld()) return true;
        char chunk[4096];
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) return false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            received_.append(chunk, static_cast<std::size_t>(got));
        }
        for (ssize_t i = 0; i < got; ++i) {
            const char c = chunk[i];
            if (escapeNext) {
                line += c;
                escaped.push_back(true);
                escapeNext = false;
            } else if (c == '\x1b') {
                escapeNext = true;
            } else if (c == '\r' || c == '\n') {
                const Next next = line.empty() ? Next::Serve : Take(fd, line, escaped);
                if (next != Next::Serve) return next == Next::Stop;
                line.clear();
                escaped.clear();
            } else {
                line += c;
                escaped.push_back(false);
            }
        }
    }
}

SimulatedPrologixAdapter::Next SimulatedPrologixAdapter::Take(int fd, const std::string& line,
                                                              const std::vector<bool>& escaped)
{
    const bool command =
        line.size() >= 2 && line[0] == '+' && line[1] == '+' && !escaped[0] && !escaped[1];
    Misbehaviour way = Misbehaviour::None;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(command ? line : "data " + line);
        if (command && misbehaviour_ != Misbehaviour::None && line == misbehaveCommand_ &&
            ++misbehaveSeen_ == misbehaveOccurrence_) {
            way = misbehaviour_;
            misbehavedAt_ = static_cast<int>(lines_.size()) - 1;
        }
    }
    if (way != Misbehaviour::None) {
        const Next next = Misbehave(fd, way);
        if (next == Next::Drop) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (misbehaviourLasts_) held_ = true;
        }
        return next;
    }
    if (command) {
        Command(fd, line);
        return Next::Serve;
    }
    static const char* const kEosSuffixes[] = {"\r\n", "\r", "\n", ""};
    const std::string data = line + kEosSuffixes[std::clamp(eos_, 0, 3)];
    bus_.Send(0, static_cast<Addr4882>(address_), data.data(), static_cast<long>(data.size()),
              eoi_ ? ni::DABend : ni::NULLend);
    return Next::Serve;
}

SimulatedPrologixAdapter::Next SimulatedPrologixAdapter::Misbehave(int fd, Misbehaviour way)
{
    constexpr std::size_t kEndless = std::numeric_limits<std::size_t>::max();
    std::string lines;
    for (int i = 0; i < 1000; ++i) lines += "0\r\n";
    switch (way) {
        case Misbehaviour::EndlessLines:
            return Flood(fd, lines, kEndless, 0);
        case Misbehaviour::EndlessBytes:
            return Flood(fd, std::string(4096, '7'), kEndless, 0);
        case Misbehaviour::Trickle:
            return Flood(fd, "7", kEndless, kTrickleMilliseconds);
        case Misbehaviour::HugeReply:
            return Flood(fd, std::string(65536, '7'), kHugeReplyBytes, 0);
        case Misbehaviour::Silence:
            return Swallow(fd);
        case Misbehaviour::Reset:
        case Misbehaviour::None:
            break;
    }
    return Next::Drop;
}

SimulatedPrologixAdapter::Next SimulatedPrologixAdapter::Flood(int fd, const std::string& chunk,
                                                               std::size_t total,
                                                               int pauseMilliseconds)
{
    std::size_t sent = 0;
    while (sent < total) {
        // What the other end sends is read and dropped, so that its close
        // shows at once.
        const short events = pauseMilliseconds > 0 ? POLLIN : POLLIN | POLLOUT;
        pollfd waits[2] = {{fd, events, 0}, {wakeFds_[0], POLLIN, 0}};
        if (::poll(waits, 2, pauseMilliseconds > 0 ? pauseMilliseconds : -1) < 0) continue;
        if (waits[1].revents) return Next::Stop;
        if (waits[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char dropped[4096];
            const ssize_t got = ::read(fd, dropped, sizeof dropped);
            if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) return Next::Drop;
            continue;
        }
        const std::size_t count = std::min(chunk.size(), total - sent);
        const ssize_t written = Write(fd, chunk.data(), count, false);
        if (written < 0 && errno != EINTR && errno != EAGAIN) return Next::Drop;
        if (written > 0) sent += static_cast<std::size_t>(written);
    }
    return Next::Serve;
}

SimulatedPrologixAdapter::Next SimulatedPrologixAdapter::Swallow(int fd)
{
    for (;;) {
        pollfd waits[2] = {{fd, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0) continue;
        if (waits[1].revents) return Next::Stop;
        char dropped[4096];
        const ssize_t got = ::read(fd, dropped, sizeof dropped);
        if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) return Next::Drop;
    }
}

int SimulatedPrologixAdapter::Descriptor(int address)
{
    const int code = TimeLimitCode(readTimeoutMs_);
    const auto key = std::make_pair(address, code);
    const auto found = descriptors_.find(key);
    if (found != descriptors_.end()) return found->second;
    const int ud = bus_.ibdev(0, address & 0xFF, (address >> 8) & 0xFF, code, 1, 0);
    descriptors_[key] = ud;
    return ud;
}

void SimulatedPrologixAdapter::Command(int fd, const std::string& line)
{
    const std::vector<std::string> words = Words(line);
    const std::string& name = words[0];
    static const char* const kStoredSettings[] = {"++mode",     "++addr",       "++auto",
                                                  "++eoi",      "++eos",        "++eot_enable",
                                                  "++eot_char", "++read_tmo_ms"};
    bool knowsEndMark = true;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        knowsEndMark = knowsEndMark_;
        if (name == "++savecfg" && words.size() > 1)
            saveConfiguration_ = Argument(words, 1, 1) != 0;
        const bool setting =
            words.size() > 1 && std::find(std::begin(kStoredSettings), std::end(kStoredSettings),
                                          name) != std::end(kStoredSettings);
        if (setting && saveConfiguration_) ++storedConfigurations_;
    }
    if (name == "++addr") {
        address_ = Argument(words, 1, address_ & 0xFF) | (Argument(words, 2, 0) << 8);
    } else if (name == "++read_tmo_ms") {
        readTimeoutMs_ = Argument(words, 1, readTimeoutMs_);
    } else if (name == "++eoi") {
        eoi_ = Argument(words, 1, 1) != 0;
    } else if (name == "++eos") {
        eos_ = Argument(words, 1, eos_);
    } else if (!knowsEndMark && (name == "++eot_enable" || name == "++eot_char")) {
        return;
    } else if (name == "++eot_enable") {
        eotEnable_ = Argument(words, 1, 0) != 0;
    } else if (name == "++eot_char" && words.size() == 1) {
        Answer(fd, std::to_string(eotChar_) + "\r\n");
    } else if (name == "++eot_char") {
        eotChar_ = Argument(words, 1, eotChar_);
    } else if (name == "++ver") {
        Answer(fd, std::string(kVersion) + "\r\n");
    } else if (name == "++srq") {
        const uint32_t now = bus_.clock().TickCount();
        bool asserted = false;
        for (SimulatedDevice* device : requesters_) {
            const std::optional<uint32_t> tick = device->ServiceRequestTick();
            if (tick && static_cast<int32_t>(*tick - now) <= 0) asserted = true;
        }
        Answer(fd, asserted ? "1\r\n" : "0\r\n");
    } else if (name == "++spoll") {
        const int address =
            words.size() > 1 ? Argument(words, 1, 0) | (Argument(words, 2, 0) << 8) : address_;
        char statusByte[2] = {0, 0};
        // A device that is not there leaves the poll unanswered.
        if (!(bus_.ibrsp(Descriptor(address), statusByte) & ni::ERR))
            Answer(fd, std::to_string(static_cast<unsigned char>(statusByte[0])) + "\r\n");
    } else if (name == "++clr") {
        bus_.ibclr(Descriptor(address_));
    } else if (name == "++ifc") {
        bus_.SendIFC(0);
    } else if (name == "++read") {
        std::string buffer(65536, '\0');
        const int status =
            bus_.ibrd(Descriptor(address_), buffer.data(), static_cast<long>(buffer.size()));
        buffer.resize(static_cast<std::size_t>(*countLong_));
        if ((status & ni::END) && eotEnable_) buffer += static_cast<char>(eotChar_);
        if (!buffer.empty()) Answer(fd, buffer);
    }
    // ++mode, ++auto, ++loc and anything unknown: nothing to answer.
}

void SimulatedPrologixAdapter::Answer(int fd, const std::string& bytes)
{
    int delay = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        delay = answerDelay_;
    }
    if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t written = Write(fd, bytes.data() + sent, bytes.size() - sent, true);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        sent += static_cast<std::size_t>(written);
    }
}

ssize_t SimulatedPrologixAdapter::Write(int fd, const char* bytes, std::size_t count, bool wait)
{
    if (link_ == Link::PseudoTerminal) return ::write(fd, bytes, count);
    return ::send(fd, bytes, count, MSG_NOSIGNAL | (wait ? 0 : MSG_DONTWAIT));
}

int ClosedLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

}  // namespace quillon
