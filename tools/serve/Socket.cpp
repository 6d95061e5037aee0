// Compiled apart from the rest of the folder: on Windows the system's socket
// headers bring <windows.h> and its macros.
#if defined(_WIN32)
#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0600
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600  // WSAPoll
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "serve/Socket.h"

namespace Herald::Net {

namespace {

#if defined(_WIN32)
using SystemSocket = SOCKET;
using PollEntry = WSAPOLLFD;
constexpr short PollRead = POLLRDNORM;
constexpr short PollWrite = POLLWRNORM;
using Length = int;

bool LastCallWouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }
void CloseSystemSocket(SystemSocket socket) { closesocket(socket); }
// Non-blocking; on POSIX also not inherited by a program herald starts.
bool Prepare(SystemSocket socket) {
    u_long on = 1;
    return ioctlsocket(socket, FIONBIO, &on) == 0;
}
bool StartNetworking() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}
#else
using SystemSocket = int;
using PollEntry = pollfd;
constexpr short PollRead = POLLIN;
constexpr short PollWrite = POLLOUT;
using Length = std::size_t;

bool LastCallWouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }
void CloseSystemSocket(SystemSocket socket) { ::close(socket); }
bool Prepare(SystemSocket socket) {
    const int flags = fcntl(socket, F_GETFL, 0);
    return flags >= 0 && fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0 && fcntl(socket, F_SETFD, FD_CLOEXEC) == 0;
}
bool StartNetworking() { return true; }
#endif

SystemSocket Native(const Socket& socket) { return static_cast<SystemSocket>(socket.Handle()); }
Socket Own(SystemSocket socket) {
#if defined(_WIN32)
    return Socket(socket == INVALID_SOCKET ? NoSocket : static_cast<NativeSocket>(socket));
#else
    return Socket(socket < 0 ? NoSocket : static_cast<NativeSocket>(socket));
#endif
}

sockaddr_in LoopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool SetOption(const Socket& socket, int level, int name) {
    const int on = 1;
    return setsockopt(Native(socket), level, name, reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

bool Bind(const Socket& socket, int port) {
    const sockaddr_in address = LoopbackAddress(port);
    return bind(Native(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

sockaddr_in LocalAddress(const Socket& socket) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (getsockname(Native(socket), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return sockaddr_in{};
    }
    return address;
}

bool ConnectTo(const Socket& socket, const sockaddr_in& address) {
    return connect(Native(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

}  // namespace

void Socket::Close() {
    if (handle_ != NoSocket) {
        CloseSystemSocket(static_cast<SystemSocket>(handle_));
        handle_ = NoSocket;
    }
}

Socket ListenOnLoopback(int port, int backlog) {
    if (!StartNetworking() || port < 0 || port > 65535) {
        return Socket();
    }
    Socket listener = Own(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!listener.IsOpen()) {
        return Socket();
    }
#if defined(_WIN32)
    // Without it, a process that set SO_REUSEADDR could bind the same port
    // and take connections meant for this one.
    SetOption(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE);
#else
    // A port left in TIME_WAIT by a herald just stopped can be had again at
    // once; a port another socket listens on still can't (only SO_REUSEPORT,
    // never set here, would share it).
    SetOption(listener, SOL_SOCKET, SO_REUSEADDR);
#endif
    if (!Bind(listener, port) || listen(Native(listener), backlog) != 0 || !Prepare(Native(listener))) {
        return Socket();
    }
    return listener;
}

int LocalPort(const Socket& socket) { return ntohs(LocalAddress(socket).sin_port); }

Socket Accept(const Socket& listener) {
    Socket accepted = Own(accept(Native(listener), nullptr, nullptr));
    if (!accepted.IsOpen()) {
        return accepted;
    }
    if (!Prepare(Native(accepted))) {
        return Socket();
    }
    // Events are a few bytes each: each should leave at once, not wait for
    // the acknowledgement of the one before.
    SetOption(accepted, IPPROTO_TCP, TCP_NODELAY);
    return accepted;
}

std::ptrdiff_t Receive(const Socket& socket, char* buffer, std::size_t size) {
    const auto count = recv(Native(socket), buffer, static_cast<Length>(std::min<std::size_t>(size, INT_MAX)), 0);
    if (count >= 0) {
        return static_cast<std::ptrdiff_t>(count);
    }
    return LastCallWouldBlock() ? WouldBlock : Failed;
}

std::ptrdiff_t Send(const Socket& socket, const char* data, std::size_t size) {
#if defined(_WIN32)
    constexpr int flags = 0;
#else
    constexpr int flags = MSG_NOSIGNAL;  // a reader gone is a failed write, not SIGPIPE
#endif
    const auto count = send(Native(socket), data, static_cast<Length>(std::min<std::size_t>(size, INT_MAX)), flags);
    if (count >= 0) {
        return static_cast<std::ptrdiff_t>(count);
    }
    return LastCallWouldBlock() ? WouldBlock : Failed;
}

void ShutdownWrite(const Socket& socket) {
#if defined(_WIN32)
    shutdown(Native(socket), SD_SEND);
#else
    shutdown(Native(socket), SHUT_WR);
#endif
}

bool Waker::Open() {
    if (!StartNetworking()) {
        return false;
    }
    receiver_ = Own(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    sender_ = Own(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    // Connected both ways: the receiver takes datagrams from the sender alone,
    // so no other process can keep the server busy through it.
    const bool open = receiver_.IsOpen() && sender_.IsOpen() && Bind(receiver_, 0) && Bind(sender_, 0) &&
                      ConnectTo(sender_, LocalAddress(receiver_)) && ConnectTo(receiver_, LocalAddress(sender_)) &&
                      Prepare(Native(receiver_)) && Prepare(Native(sender_));
    if (!open) {
        receiver_.Close();
        sender_.Close();
    }
    return open;
}

void Waker::Wake() const {
    if (sender_.IsOpen()) {
        // A full queue already holds a wake-up, which is all one is.
        Send(sender_, "!", 1);
    }
}

void Waker::Drain() const {
    char buffer[64];
    for (int i = 0; i < 256 && receiver_.IsOpen(); ++i) {
        if (Receive(receiver_, buffer, sizeof buffer) < 0) {
            return;
        }
    }
}

struct PollSet::Entries {
    std::vector<PollEntry> entries;
};

PollSet::PollSet() : entries_(std::make_unique<Entries>()) {}
PollSet::~PollSet() = default;

void PollSet::Clear() { entries_->entries.clear(); }

std::size_t PollSet::Add(const Socket& socket, bool read, bool write) {
    PollEntry entry{};
    entry.fd = Native(socket);
    entry.events = static_cast<short>((read ? PollRead : 0) | (write ? PollWrite : 0));
    entries_->entries.push_back(entry);
    return entries_->entries.size() - 1;
}

bool PollSet::Wait(int timeoutMs) {
    auto& entries = entries_->entries;
#if defined(_WIN32)
    const int ready = WSAPoll(entries.data(), static_cast<ULONG>(entries.size()), timeoutMs);
#else
    const int ready = poll(entries.data(), static_cast<nfds_t>(entries.size()), timeoutMs);
    if (ready < 0 && errno == EINTR) {
        for (PollEntry& entry : entries) {
            entry.revents = 0;
        }
        return true;
    }
#endif
    return ready >= 0;
}

bool PollSet::Readable(std::size_t entry) const {
    return (entries_->entries[entry].revents & (PollRead | POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool PollSet::Writable(std::size_t entry) const { return (entries_->entries[entry].revents & PollWrite) != 0; }

bool PollSet::Broken(std::size_t entry) const { return (entries_->entries[entry].revents & (POLLERR | POLLNVAL)) != 0; }

}  // namespace Herald::Net
