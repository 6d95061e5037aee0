#pragma once
// The few socket calls the page server makes, alike on POSIX and on Winsock:
// non-blocking TCP on the loopback address, a wake-up, and poll().

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

namespace Herald::Net {

// A socket as the system names it: a descriptor on POSIX, a SOCKET on Windows.
using NativeSocket = std::uintptr_t;
inline constexpr NativeSocket NoSocket = ~NativeSocket{0};

class Socket {
public:
    Socket() = default;
    explicit Socket(NativeSocket handle) : handle_(handle) {}
    Socket(Socket&& other) noexcept : handle_(std::exchange(other.handle_, NoSocket)) {}
    Socket& operator=(Socket&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = std::exchange(other.handle_, NoSocket);
        }
        return *this;
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() { Close(); }

    bool IsOpen() const { return handle_ != NoSocket; }
    NativeSocket Handle() const { return handle_; }
    void Close();

private:
    NativeSocket handle_ = NoSocket;
};

// Listening on 127.0.0.1:port (0: a free one), non-blocking, and never
// shared: a port another process listens on is refused, whatever options that
// process set. Not open when the port can't be had.
Socket ListenOnLoopback(int port, int backlog);
int LocalPort(const Socket& socket);

// A connection waiting on the listener, non-blocking, with no delay on small
// writes; not open when none is waiting.
Socket Accept(const Socket& listener);

// What Receive and Send return besides a count of bytes.
inline constexpr std::ptrdiff_t WouldBlock = -1;
inline constexpr std::ptrdiff_t Failed = -2;  // reset, or any other error: the connection is done

// Bytes read (0: the peer closed its side), WouldBlock or Failed.
std::ptrdiff_t Receive(const Socket& socket, char* buffer, std::size_t size);
// Bytes written (possibly fewer than asked), WouldBlock or Failed.
std::ptrdiff_t Send(const Socket& socket, const char* data, std::size_t size);
// Says no more will be written: the peer reads to the end, then sees it closed.
void ShutdownWrite(const Socket& socket);

// Wakes a thread blocked in PollSet::Wait from any other thread: a datagram
// to itself on the loopback address, since Windows polls nothing but sockets.
class Waker {
public:
    bool Open();  // false when there is no loopback to use
    void Wake() const;
    void Drain() const;
    const Socket& Readable() const { return receiver_; }

private:
    Socket receiver_;
    Socket sender_;
};

// poll() over sockets; the entries are given anew before each wait.
class PollSet {
public:
    PollSet();
    ~PollSet();
    PollSet(const PollSet&) = delete;
    PollSet& operator=(const PollSet&) = delete;

    void Clear();
    std::size_t Add(const Socket& socket, bool read, bool write);
    // Waits at most timeoutMs for any entry; false when the wait itself failed.
    bool Wait(int timeoutMs);
    // Readable also when the peer closed or the connection failed: a read then says which.
    bool Readable(std::size_t entry) const;
    bool Writable(std::size_t entry) const;
    bool Broken(std::size_t entry) const;

private:
    struct Entries;
    std::unique_ptr<Entries> entries_;
};

}  // namespace Herald::Net
