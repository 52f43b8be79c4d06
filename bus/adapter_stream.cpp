#include "bus/adapter_stream.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

namespace quillon {

namespace {

// poll() that is not ended early by a signal.
int PollFor(int fd, short events, AdapterDeadline deadline, short& revents)
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
        const auto deadline = DeadlineAfter(milliseconds);
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
        const auto deadline = DeadlineAfter(milliseconds);
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
bool LookUpAddresses(const std::string& host, int port, AdapterDeadline deadline,
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

AdapterDeadline DeadlineAfter(int milliseconds)
{
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
}

int MillisecondsLeft(AdapterDeadline deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    return left > 0 ? static_cast<int>(left) : 0;
}

AdapterStreamOpening ConnectTcpStream(const std::string& host, int port, int timeoutMilliseconds,
                                      const NameLookup& lookup)
{
    AdapterStreamOpening opening;
    const auto deadline = DeadlineAfter(timeoutMilliseconds);
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

}  // namespace quillon
