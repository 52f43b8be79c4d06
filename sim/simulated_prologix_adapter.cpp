#include "sim/simulated_prologix_adapter.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
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

using SteadyClock = std::chrono::steady_clock;

// "++read_tmo_ms" and the like take digits only.
bool IsNumber(const std::string& word)
{
    return !word.empty() && word.find_first_not_of("0123456789") == std::string::npos;
}

// The settings of a board that was never set otherwise.
Ar488Configuration DefaultSettings(SimulatedPrologixAdapter::Firmware firmware)
{
    Ar488Configuration settings;
    if (firmware == SimulatedPrologixAdapter::Firmware::Prologix) {
        settings.eoi = true;
        settings.primaryAddress = 0;
        settings.readTimeoutMilliseconds = 1000;
    }
    return settings;
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

int SimulatedPrologixAdapter::EepromCellsWritten() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return eeprom_.CellsWritten();
}

std::size_t SimulatedPrologixAdapter::LostBytes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lostBytes_;
}

void SimulatedPrologixAdapter::SetBoard(const Board& board)
{
    std::lock_guard<std::mutex> lock(mutex_);
    board_ = board;
}

void SimulatedPrologixAdapter::SetUserCommands(std::vector<std::string> commands)
{
    std::lock_guard<std::mutex> lock(mutex_);
    userCommands_ = std::move(commands);
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
    Board board;
    std::vector<std::string> userCommands;
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        board = board_;
        first = !userCommandsGiven_;
        userCommandsGiven_ = true;
        if (first) userCommands = userCommands_;
    }
    Session session;
    session.fd = fd;
    session.ar488 = board.firmware == Firmware::Ar488;
    session.line = SerialLineTiming(board.baud, board.receiveBufferBytes);
    if (first) {
        settings_ = DefaultSettings(board.firmware);
        Session user = session;
        user.silent = true;
        for (const std::string& command : userCommands) Command(user, command);
    }
    if (link_ == Link::Tcp && board.restartMilliseconds > 0)
        Restart(session, SteadyClock::now(), board.restartMilliseconds);

    const std::size_t lostBefore = LostBytes();
    const auto noteLost = [&] {
        std::lock_guard<std::mutex> lock(mutex_);
        lostBytes_ = lostBefore + session.line.Lost();
    };
    for (;;) {
        if (!WaitWhileHeld()) return true;
        const Time now = SteadyClock::now();
        char byte = 0;
        Time taken;
        while (session.line.Take(now, byte, taken)) {
            const Next next = Parse(session, byte, taken);
            if (next != Next::Serve) {
                noteLost();
                return next == Next::Stop;
            }
        }
        noteLost();
        if (session.line.Idle(now)) PollOnServiceRequest(session, now);
        Flush(session, now);

        // Until the next byte reaches the board, the next byte of output is
        // due, or (polling on SRQ) the firmware looks at the SRQ line again.
        Time next = std::min(session.line.NextTake(),
                             session.output.empty() ? Time::max() : session.output.front().second);
        if (session.ar488 && serviceRequestAuto_)
            next = std::min(next, now + std::chrono::milliseconds(1));
        timespec wait{};
        timespec* timeout = nullptr;
        if (next != Time::max()) {
            const auto left = std::max(next - SteadyClock::now(), SteadyClock::duration::zero());
            const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left);
            wait.tv_sec = static_cast<time_t>(nanoseconds.count() / 1'000'000'000);
            wait.tv_nsec = static_cast<long>(nanoseconds.count() % 1'000'000'000);
            timeout = &wait;
        }
        pollfd waits[2] = {{fd, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        if (::ppoll(waits, 2, timeout, nullptr) < 0) continue;
        if (waits[1].revents) return true;
        if (!(waits[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        if (!WaitWhileHeld()) return true;
        char chunk[4096];
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) return false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            received_.append(chunk, static_cast<std::size_t>(got));
        }
        session.line.Arrive(std::string_view(chunk, static_cast<std::size_t>(got)),
                            SteadyClock::now());
    }
}

void SimulatedPrologixAdapter::Restart(Session& session, Time now, int milliseconds)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::optional<Ar488Configuration>& saved = eeprom_.Saved();
        settings_ =
            saved ? *saved : DefaultSettings(session.ar488 ? Firmware::Ar488 : Firmware::Prologix);
    }
    verbose_ = false;
    serviceRequestAuto_ = false;
    const Time up = now + std::chrono::milliseconds(milliseconds);
    // Starting as controller, the firmware clears the bus as ++mode 1 does.
    const auto startUp =
        std::chrono::milliseconds(settings_.mode == 2 ? kAr488ModeMilliseconds : 0);
    session.line.Restart(up, up + startUp);
    session.handlingAt = up + startUp;
    session.busyFor = {};
    if (session.ar488 && (settings_.flags & 0x01)) Print(session, "AR488~RDY");
}

SimulatedPrologixAdapter::Next SimulatedPrologixAdapter::Parse(Session& session, char byte,
                                                               Time taken)
{
    session.handlingAt = taken;
    session.busyFor = {};
    // In verbose mode AR488 echoes every byte it takes but the line feed.
    if (session.ar488 && verbose_ && byte != '\n') Print(session, std::string(1, byte));
    if (session.escapeNext) {
        session.text += byte;
        session.escaped.push_back(true);
        session.escapeNext = false;
        return Next::Serve;
    }
    if (byte == '\x1b') {
        session.escapeNext = true;
        return Next::Serve;
    }
    if (byte != '\r' && byte != '\n') {
        session.text += byte;
        session.escaped.push_back(false);
        return Next::Serve;
    }
    if (session.text.empty()) {
        if (session.ar488 && verbose_) Print(session, "\r\n> ");
        return Next::Serve;
    }
    const Next next = Take(session, session.text, session.escaped);
    session.text.clear();
    session.escaped.clear();
    if (next != Next::Serve) return next;
    session.line.Busy(session.handlingAt, session.busyFor);
    // The firmware looks at SRQ after each line it carries out.
    PollOnServiceRequest(session, session.handlingAt + session.busyFor);
    return Next::Serve;
}

SimulatedPrologixAdapter::Next SimulatedPrologixAdapter::Take(Session& session,
                                                              const std::string& line,
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
        // What was answered before goes out first.
        Flush(session, session.handlingAt, true);
        const Next next = Misbehave(session.fd, way);
        if (next == Next::Drop) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (misbehaviourLasts_) held_ = true;
        }
        return next;
    }
    if (command) {
        Command(session, line);
    } else {
        Data(session, line);
    }
    return Next::Serve;
}

void SimulatedPrologixAdapter::Data(Session& session, const std::string& line)
{
    const bool ar488 = session.ar488;
    if (ar488 && settings_.idn > 0 && line.size() > 3 &&
        ::strncasecmp(line.c_str(), "*idn?", 5) == 0) {
        // The adapter answers for the instrument, which never hears it.
        std::string name = settings_.name;
        if (settings_.idn == 2) name += "-" + std::to_string(settings_.serial);
        Answer(session, name + "\r\n");
        return;
    }
    if (!ar488 || settings_.readTimeoutMilliseconds > 1) {
        static const char* const kEosSuffixes[] = {"\r\n", "\r", "\n", ""};
        const std::string data = line + kEosSuffixes[std::clamp<int>(settings_.eos, 0, 3)];
        bus_.Send(0, static_cast<Addr4882>(AddressedDevice()), data.data(),
                  static_cast<long>(data.size()), settings_.eoi ? ni::DABend : ni::NULLend);
    }
    if (!ar488) return;
    // Its handshake flag says the line was sent, whether it was or not.
    if (settings_.flags & 0x04) Answer(session, "Send^OK\r\n");
    if (verbose_) Print(session, "> ");
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
    const int code = TimeLimitCode(settings_.readTimeoutMilliseconds);
    const auto key = std::make_pair(address, code);
    const auto found = descriptors_.find(key);
    if (found != descriptors_.end()) return found->second;
    const int ud = bus_.ibdev(0, address & 0xFF, (address >> 8) & 0xFF, code, 1, 0);
    descriptors_[key] = ud;
    return ud;
}

int SimulatedPrologixAdapter::AddressedDevice() const
{
    const int secondary = settings_.secondaryAddress == 0xFF ? 0 : settings_.secondaryAddress;
    return settings_.primaryAddress | (secondary << 8);
}

bool SimulatedPrologixAdapter::ServiceRequestAsserted() const
{
    const uint32_t now = bus_.clock().TickCount();
    for (SimulatedDevice* device : requesters_) {
        const std::optional<uint32_t> tick = device->ServiceRequestTick();
        if (tick && static_cast<int32_t>(*tick - now) <= 0) return true;
    }
    return false;
}

void SimulatedPrologixAdapter::Command(Session& session, const std::string& line)
{
    const std::vector<std::string> words = Words(line);
    const std::string& name = words[0];
    const bool given = words.size() > 1;
    const bool ar488 = session.ar488;
    static const char* const kStoredSettings[] = {"++mode",     "++addr",       "++auto",
                                                  "++eoi",      "++eos",        "++eot_enable",
                                                  "++eot_char", "++read_tmo_ms"};
    bool knowsEndMark = true;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        knowsEndMark = knowsEndMark_ || ar488;
        if (!ar488) {
            if (name == "++savecfg" && given) saveConfiguration_ = Argument(words, 1, 1) != 0;
            const bool setting =
                given && std::find(std::begin(kStoredSettings), std::end(kStoredSettings), name) !=
                             std::end(kStoredSettings);
            if (setting && saveConfiguration_) ++storedConfigurations_;
        }
    }
    // AR488 gives every handshake byte its read time-out, counted from one
    // millisecond in: with 1 ms, none goes through.
    const bool handshakes = !ar488 || settings_.readTimeoutMilliseconds > 1;
    if (ar488 && verbose_) Print(session, "\r\n");
    if (name == "++addr" && given) {
        settings_.primaryAddress = static_cast<uint8_t>(Argument(words, 1, 0));
        int secondary = Argument(words, 2, 0xFF);
        if (ar488 && secondary < 31) secondary += 0x60;
        settings_.secondaryAddress = static_cast<uint8_t>(words.size() > 2 ? secondary : 0xFF);
    } else if (name == "++read_tmo_ms" && given) {
        const int milliseconds = Argument(words, 1, 0);
        if (ar488 && (!IsNumber(words[1]) || milliseconds < 1 || milliseconds > 32000)) {
            if (IsNumber(words[1])) Answer(session, "Invalid parameter\r\n");
        } else {
            settings_.readTimeoutMilliseconds = static_cast<uint16_t>(milliseconds);
        }
    } else if (name == "++eoi" && given) {
        settings_.eoi = Argument(words, 1, 1) != 0;
    } else if (name == "++eos" && given) {
        settings_.eos = static_cast<uint8_t>(Argument(words, 1, settings_.eos));
    } else if (!knowsEndMark && (name == "++eot_enable" || name == "++eot_char")) {
        // A firmware that does not know them.
    } else if (name == "++eot_enable" && given) {
        settings_.eotEnable = Argument(words, 1, 0) != 0;
    } else if (name == "++eot_char" && !given) {
        Answer(session, std::to_string(settings_.eotChar) + "\r\n");
    } else if (name == "++eot_char") {
        settings_.eotChar = static_cast<uint8_t>(Argument(words, 1, settings_.eotChar));
    } else if (name == "++ver") {
        const bool real = given && words[1] == "real";
        const std::string version = !ar488 ? kVersion
                                    : !real && !settings_.versionText.empty()
                                        ? settings_.versionText
                                        : kAr488Version;
        Answer(session, version + "\r\n");
    } else if (name == "++srq") {
        Answer(session, ServiceRequestAsserted() ? "1\r\n" : "0\r\n");
    } else if (name == "++spoll") {
        const int address =
            given ? Argument(words, 1, 0) | (Argument(words, 2, 0) << 8) : AddressedDevice();
        char statusByte[2] = {0, 0};
        // A device that is not there leaves the poll unanswered.
        if (handshakes && !(bus_.ibrsp(Descriptor(address), statusByte) & ni::ERR))
            Answer(session, std::to_string(static_cast<unsigned char>(statusByte[0])) + "\r\n");
    } else if (name == "++clr") {
        if (handshakes) bus_.ibclr(Descriptor(AddressedDevice()));
    } else if (name == "++ifc") {
        bus_.SendIFC(0);
    } else if (name == "++read") {
        if (handshakes) {
            std::string buffer(65536, '\0');
            const int status = bus_.ibrd(Descriptor(AddressedDevice()), buffer.data(),
                                         static_cast<long>(buffer.size()));
            buffer.resize(static_cast<std::size_t>(*countLong_));
            if ((status & ni::END) && settings_.eotEnable)
                buffer += static_cast<char>(settings_.eotChar);
            if (!buffer.empty()) Answer(session, buffer);
        }
        if (ar488 && (settings_.flags & 0x02)) Answer(session, "Read^OK\r\n");
    } else if (ar488) {
        Ar488Command(session, words);
    }
    // Prologix's ++mode, ++auto, ++loc and anything unknown: nothing to answer.
    if (ar488 && verbose_) Print(session, "> ");
}

void SimulatedPrologixAdapter::Ar488Command(Session& session, const std::vector<std::string>& words)
{
    const std::string& name = words[0];
    const bool given = words.size() > 1;
    const int value = Argument(words, 1, 0);
    if (name == "++mode" && given) {
        // Controller mode begins with REN off and on again, 40 ms each.
        if (value == 1) session.busyFor += std::chrono::milliseconds(kAr488ModeMilliseconds);
        settings_.mode = static_cast<uint8_t>(value == 1 ? 2 : 1);
    } else if (name == "++auto" && given) {
        settings_.autoMode = static_cast<uint8_t>(value);
    } else if (name == "++savecfg") {
        // Whatever follows it: a snapshot of every setting goes to the
        // EEPROM, each changed cell taking its write time.
        int cells = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            cells = eeprom_.Save(settings_);
            ++storedConfigurations_;
        }
        session.busyFor += std::chrono::microseconds(int64_t{cells} * kEepromCellMicroseconds);
    } else if (name == "++srqauto" && given) {
        serviceRequestAuto_ = value != 0;
    } else if (name == "++verbose") {
        verbose_ = !verbose_;
        Answer(session, verbose_ ? "Verbose: ON\r\n" : "Verbose: OFF\r\n");
    } else if (name == "++idn" && given) {
        settings_.idn = static_cast<uint8_t>(value);
    } else if (name == "++flags" && given) {
        settings_.flags = static_cast<uint8_t>(value);
    } else if (name != "++loc") {
        Answer(session, "Unrecognized command\r\n");
    }
}

void SimulatedPrologixAdapter::PollOnServiceRequest(Session& session, Time now)
{
    if (!session.ar488 || !serviceRequestAuto_ || settings_.mode != 2) return;
    if (settings_.readTimeoutMilliseconds <= 1 || !ServiceRequestAsserted()) return;
    session.handlingAt = now;
    session.busyFor = {};
    char statusByte[2] = {0, 0};
    if (!(bus_.ibrsp(Descriptor(AddressedDevice()), statusByte) & ni::ERR))
        Answer(session, std::to_string(static_cast<unsigned char>(statusByte[0])) + "\r\n");
}

void SimulatedPrologixAdapter::Answer(Session& session, const std::string& bytes)
{
    int delay = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        delay = answerDelay_;
    }
    session.busyFor += std::chrono::milliseconds(delay);
    Print(session, bytes);
}

void SimulatedPrologixAdapter::Print(Session& session, const std::string& bytes)
{
    if (session.silent) return;
    const Time from = session.handlingAt + session.busyFor;
    for (const char byte : bytes) session.output.emplace_back(byte, session.line.Departure(from));
}

void SimulatedPrologixAdapter::Flush(Session& session, Time now, bool all)
{
    std::string due;
    while (!session.output.empty() && (all || session.output.front().second <= now)) {
        due += session.output.front().first;
        session.output.pop_front();
    }
    std::size_t sent = 0;
    while (sent < due.size()) {
        const ssize_t written = Write(session.fd, due.data() + sent, due.size() - sent, true);
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
