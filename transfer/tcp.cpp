#include "transfer/tcp.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "shell/hooks.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int PENDING_SIZE = 1024;

struct TcpConnection {
    int fd;                 // -1: slot free
    int pending_count;      // bytes received after the last line taken
    char pending[PENDING_SIZE];
};

// The client's whole state, written and read by the functions of this file
// only; ResetTcp puts it back as at start-up.
struct TcpState {
    TcpConnection connections[TCP_MAX_CONNECTIONS];
    int connections_ready;      // the slots are marked free
    int timeout_override_ms;    // SetTCPTimeout; 0: the callers' own
    char last_problem[128];     // TCPLastProblem
};
TcpState tcp{};

void NoteProblem(const char* text) { std::snprintf(tcp.last_problem, sizeof tcp.last_problem, "%s", text); }
void NoteErrno(int error) { NoteProblem(std::strerror(error)); }

void InitTable() {
    if (tcp.connections_ready) return;
    for (TcpConnection& c : tcp.connections) {
        c.fd = -1;
        c.pending_count = 0;
    }
    tcp.connections_ready = 1;
}

TcpConnection* Find(int handle) {
    InitTable();
    if (handle < 1 || handle > TCP_MAX_CONNECTIONS) return nullptr;
    TcpConnection* c = &tcp.connections[handle - 1];
    return c->fd >= 0 ? c : nullptr;
}

Clock::time_point Deadline(int timeout_ms) {
    if (tcp.timeout_override_ms > 0) timeout_ms = tcp.timeout_override_ms;
    return Clock::now() + std::chrono::milliseconds(ScaledTimeout(timeout_ms));
}

int Remaining(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for events on fd until the deadline: >0 ready (revents set), 0 time-out, <0 error.
int WaitFor(int fd, short events, Clock::time_point deadline, short* revents) {
    for (;;) {
        pollfd p{fd, events, 0};
        int r = poll(&p, 1, Remaining(deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r > 0) *revents = p.revents;
        return r;
    }
}

int ConnectOne(const addrinfo* a, Clock::time_point deadline, int* result) {
    int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
        NoteErrno(errno);
        *result = TCP_CONNECT_FAILED;
        return -1;
    }
    if (connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            NoteErrno(errno);
            close(fd);
            *result = TCP_CONNECT_FAILED;
            return -1;
        }
        short revents = 0;
        int r = WaitFor(fd, POLLOUT, deadline, &revents);
        int error = 0;
        socklen_t length = sizeof error;
        if (r <= 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            if (r == 0) NoteProblem("no answer within the time-out");
            else NoteErrno(error ? error : errno);
            close(fd);
            *result = r == 0 ? TCP_TIMEOUT : TCP_CONNECT_FAILED;
            return -1;
        }
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // commands are short lines
    return fd;
}

// Reads into buffer without taking pending bytes first.
int ReadSocket(TcpConnection* c, void* buffer, int size, Clock::time_point deadline) {
    for (;;) {
        ssize_t n = recv(c->fd, buffer, static_cast<size_t>(size), MSG_DONTWAIT);
        if (n > 0) return static_cast<int>(n);
        if (n == 0) {
            NoteProblem("the peer closed the connection");
            return TCP_CONNECTION_CLOSED;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            NoteErrno(errno);
            return errno == ECONNRESET ? TCP_CONNECTION_CLOSED : TCP_IO_ERROR;
        }
        short revents = 0;
        int r = WaitFor(c->fd, POLLIN, deadline, &revents);
        if (r == 0) {
            NoteProblem("no answer within the time-out");
            return TCP_TIMEOUT;
        }
        if (r < 0) {
            NoteErrno(errno);
            return TCP_IO_ERROR;
        }
    }
}

}  // namespace

int ScaledTimeout(int timeout_ms) {
    if (timeout_ms <= 0) return 0;
    double scaled = timeout_ms * DelayScale();
    int floor = timeout_ms < TCP_MIN_TIMEOUT_MS ? timeout_ms : TCP_MIN_TIMEOUT_MS;
    if (scaled < floor) return floor;
    if (scaled > 24.0 * 3600 * 1000) return 24 * 3600 * 1000;
    return static_cast<int>(scaled);
}

void SetTCPTimeout(int timeout_ms) { tcp.timeout_override_ms = timeout_ms > 0 ? timeout_ms : 0; }

const char* TCPLastProblem() { return tcp.last_problem[0] ? tcp.last_problem : "unknown failure"; }

int ConnectToTCPServer(int* handle, int port, const char* host, TCPCallback, void*, int timeout_ms) {
    InitTable();
    if (!handle || !host || !*host) return TCP_INVALID_HANDLE;
    if (port < 1 || port > 65535) {
        NoteProblem("no such port");
        return TCP_CONNECT_FAILED;
    }
    int slot = -1;
    for (int i = 0; i < TCP_MAX_CONNECTIONS && slot < 0; ++i)
        if (tcp.connections[i].fd < 0) slot = i;
    if (slot < 0) {
        NoteProblem("too many open connections");
        return TCP_TOO_MANY_CONNECTIONS;
    }

    char service[8];
    std::snprintf(service, sizeof service, "%d", port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | AI_NUMERICHOST;
    addrinfo* list = nullptr;
    int rc = getaddrinfo(host, service, &hints, &list);
    if (rc == EAI_NONAME) {  // not a numeric address: a host name
        hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
        rc = getaddrinfo(host, service, &hints, &list);
    }
    if (rc != 0 || !list) {
        NoteProblem(rc == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(rc));
        return TCP_CONNECT_FAILED;
    }

    Clock::time_point deadline = Deadline(timeout_ms);
    int result = TCP_CONNECT_FAILED, fd = -1;
    for (const addrinfo* a = list; a && fd < 0; a = a->ai_next) {
        fd = ConnectOne(a, deadline, &result);
        if (result == TCP_TIMEOUT) break;
    }
    freeaddrinfo(list);
    if (fd < 0) return result;

    TcpConnection& c = tcp.connections[slot];
    c.fd = fd;
    c.pending_count = 0;
    *handle = slot + 1;
    return 0;
}

int ClientTCPRead(int handle, void* buffer, int size, int timeout_ms) {
    TcpConnection* c = Find(handle);
    if (!c || !buffer || size <= 0) return TCP_INVALID_HANDLE;
    if (c->pending_count > 0) {
        int n = c->pending_count < size ? c->pending_count : size;
        std::memcpy(buffer, c->pending, static_cast<size_t>(n));
        std::memmove(c->pending, c->pending + n, static_cast<size_t>(c->pending_count - n));
        c->pending_count -= n;
        return n;
    }
    return ReadSocket(c, buffer, size, Deadline(timeout_ms));
}

int ClientTCPReadLine(int handle, char* line, int size, int timeout_ms) {
    TcpConnection* c = Find(handle);
    if (!c || !line || size <= 0) return TCP_INVALID_HANDLE;
    Clock::time_point deadline = Deadline(timeout_ms);
    int length = 0;
    for (;;) {
        char* lf = static_cast<char*>(std::memchr(c->pending, '\n', static_cast<size_t>(c->pending_count)));
        int take = lf ? static_cast<int>(lf - c->pending) : c->pending_count;
        int keep = take < size - 1 - length ? take : size - 1 - length;
        std::memcpy(line + length, c->pending, static_cast<size_t>(keep));
        length += keep;
        int used = lf ? take + 1 : take;
        std::memmove(c->pending, c->pending + used, static_cast<size_t>(c->pending_count - used));
        c->pending_count -= used;
        if (lf) break;
        int n = ReadSocket(c, c->pending, PENDING_SIZE, deadline);
        if (n < 0) {
            line[0] = 0;
            return n;
        }
        c->pending_count = n;
    }
    // A CR ends the line as far as its text goes (also a CR of CR LF).
    line[length] = 0;
    if (char* cr = static_cast<char*>(std::memchr(line, '\r', static_cast<size_t>(length)))) {
        *cr = 0;
        length = static_cast<int>(cr - line);
    }
    return length;
}

long ClientTCPWrite(int handle, const void* data, long count, int timeout_ms) {
    TcpConnection* c = Find(handle);
    if (!c || (!data && count > 0) || count < 0) return TCP_INVALID_HANDLE;
    Clock::time_point deadline = Deadline(timeout_ms);
    const char* p = static_cast<const char*>(data);
    long done = 0;
    while (done < count) {
        ssize_t n = send(c->fd, p + done, static_cast<size_t>(count - done), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            NoteErrno(errno);
            return errno == EPIPE || errno == ECONNRESET ? TCP_CONNECTION_CLOSED : TCP_IO_ERROR;
        }
        short revents = 0;
        int r = WaitFor(c->fd, POLLOUT, deadline, &revents);
        if (r == 0) {
            NoteProblem("the peer took nothing within the time-out");
            return TCP_TIMEOUT;
        }
        if (r < 0) {
            NoteErrno(errno);
            return TCP_IO_ERROR;
        }
        if (revents & (POLLERR | POLLHUP)) {
            NoteProblem("the peer closed the connection");
            return TCP_CONNECTION_CLOSED;
        }
    }
    return count;
}

int DisconnectFromTCPServer(int handle) {
    TcpConnection* c = Find(handle);
    if (!c) return TCP_INVALID_HANDLE;
    int fd = c->fd;
    c->fd = -1;
    c->pending_count = 0;
    return close(fd) == 0 || errno == EINTR ? 0 : TCP_IO_ERROR;
}

int TCPIsIPv6(int handle) {
    TcpConnection* c = Find(handle);
    sockaddr_storage a{};
    socklen_t length = sizeof a;
    return c && getpeername(c->fd, reinterpret_cast<sockaddr*>(&a), &length) == 0 && a.ss_family == AF_INET6;
}

int TCPPeerGone(int handle) {
    TcpConnection* c = Find(handle);
    if (!c) return 1;
    pollfd p{c->fd, static_cast<short>(POLLIN | POLLRDHUP), 0};
    if (poll(&p, 1, 0) <= 0) return 0;
    if (p.revents & (POLLERR | POLLHUP | POLLRDHUP | POLLNVAL)) {
        NoteProblem("the peer closed the connection");
        return 1;
    }
    char byte;
    ssize_t n = recv(c->fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno == ECONNRESET)) {
        NoteProblem("the peer closed the connection");
        return 1;
    }
    return 0;
}

void CloseAllTCPConnections() {
    InitTable();
    for (int i = 0; i < TCP_MAX_CONNECTIONS; ++i)
        if (tcp.connections[i].fd >= 0) DisconnectFromTCPServer(i + 1);
}

void ResetTcp() {
    CloseAllTCPConnections();
    tcp.timeout_override_ms = 0;
    tcp.last_problem[0] = 0;
}
