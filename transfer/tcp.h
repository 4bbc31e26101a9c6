// TCP client on POSIX sockets for the instrument transfers: the control and
// data connections of the FTP dialogue and the LAN path of the GPIB layer.
//
// Connections are non-blocking and every call waits with poll() for at most
// its time-out. Handles are small positive numbers; every failure is a
// negative result (TCP_* below). Time-outs are given in milliseconds and are
// scaled with the same factor as Delay() (SetDelayScale), so tests shorten
// them together with the waits; a scaled time-out never drops below
// TCP_MIN_TIMEOUT_MS (or the nominal value when that is shorter), so a
// loopback peer on a busy machine is still heard.
#pragma once

constexpr int TCP_MAX_CONNECTIONS = 16;
constexpr int TCP_MIN_TIMEOUT_MS = 500;

// Results.
constexpr int TCP_INVALID_HANDLE = -1;        // no such open connection, or a bad argument
constexpr int TCP_TOO_MANY_CONNECTIONS = -2;
constexpr int TCP_CONNECT_FAILED = -3;        // address unknown, refused or unreachable
constexpr int TCP_TIMEOUT = -4;
constexpr int TCP_CONNECTION_CLOSED = -5;     // the peer closed or reset the connection
constexpr int TCP_IO_ERROR = -6;

// The event callback of the run-time's connect call. The dialogues read their
// replies explicitly, so no event is ever delivered: the callback and its data
// are accepted for that call's shape and not kept.
using TCPCallback = int (*)(unsigned handle, int event, int error, void* callback_data);

// Opens a connection to host (numeric IPv4/IPv6 text, or a name) at port.
// 0 and *handle set, or a negative result (*handle untouched).
int ConnectToTCPServer(int* handle, int port, const char* host, TCPCallback callback, void* callback_data,
                       int timeout_ms);
// Reads what has arrived, up to size bytes, waiting at most the time-out for
// the first byte. The number of bytes read (> 0), or a negative result.
int ClientTCPRead(int handle, void* buffer, int size, int timeout_ms);
// Reads one line ending in LF (the LF and a CR before it are not stored).
// Bytes after the line stay for the next read. A line longer than size - 1
// is cut; its rest is read and dropped. Its length, or a negative result.
int ClientTCPReadLine(int handle, char* line, int size, int timeout_ms);
// Writes all count bytes within the time-out. count, or a negative result.
long ClientTCPWrite(int handle, const void* data, long count, int timeout_ms);
// Closes the connection. 0, or TCP_INVALID_HANDLE.
int DisconnectFromTCPServer(int handle);

// Non-zero when the peer has closed or reset the connection (looks without waiting).
int TCPPeerGone(int handle);

// Non-zero when the connection runs over IPv6.
int TCPIsIPv6(int handle);

// The effective wait of a nominal time-out.
int ScaledTimeout(int timeout_ms);

// One time-out for every call instead of the callers' own (uldoc --timeout);
// 0 gives them back their own.
void SetTCPTimeout(int timeout_ms);

// Why the last connect or transfer failed, in the system's words
// ("Connection refused", "timed out", "Name or service not known"...).
const char* TCPLastProblem();

// Closes every open connection (driver shutdown, tests).
void CloseAllTCPConnections();

// Every connection closed, the time-out override and the last problem cleared (tests).
void ResetTcp();
