// The byte stream to a Prologix adapter: a TCP connection, its host name
// looked up within the connection's time limit, or a serial line; both are
// waited on with poll() against real-time deadlines.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

struct addrinfo;

namespace quillon {

// When a wait for the adapter ends.
using AdapterDeadline = std::chrono::steady_clock::time_point;
AdapterDeadline DeadlineAfter(int milliseconds);
// What is left of the wait, 0 once its end has passed.
int MillisecondsLeft(AdapterDeadline deadline);

// A two-way byte stream to the adapter.
class AdapterStream {
public:
    virtual ~AdapterStream() = default;
    // Sends every byte, waiting at most `milliseconds` for room to do so.
    // 0, or the errno of the failure.
    virtual int Send(std::string_view bytes, int milliseconds) = 0;
    // Waits at most `milliseconds` (0: only looks) for bytes and appends
    // those that came. 0 when some came, ETIMEDOUT when none did, or the
    // errno of the failure; a connection closed by the other end gives
    // ECONNRESET (a socket) or ENODEV (a serial line).
    virtual int Receive(std::string& into, int milliseconds) = 0;
};

struct AdapterStreamOpening {
    std::unique_ptr<AdapterStream> stream;
    int error = 0;       // errno when there is no stream
    std::string reason;  // the failure in words, where errno says too little
};

// Finds the addresses of a host name as getaddrinfo() does, the list to be
// released with freeaddrinfo().
using NameLookup = std::function<int(const char* host, const char* service, const addrinfo* hints,
                                     addrinfo** found)>;

// TCP to HOST:PORT, the name lookup (getaddrinfo() when `lookup` is empty)
// and the connection attempt together bounded by `timeoutMilliseconds`.
AdapterStreamOpening ConnectTcpStream(const std::string& host, int port, int timeoutMilliseconds,
                                      const NameLookup& lookup = {});
// A serial device, raw 115200 8N1 (USB adapters ignore the rate).
AdapterStreamOpening OpenSerialStream(const std::string& devicePath);

}  // namespace quillon
