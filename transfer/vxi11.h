// VXI-11 link to a LAN instrument (ONC RPC core channel) through liblxi.
//
// liblxi marks every write as the end of a message, so a message that the
// GPIB layer sends in several pieces is gathered here and written whole when
// its last piece (EOI) arrives. Handles are liblxi's (>= 0); failures are -1
// with the reason in Vxi11LastProblem().
#pragma once

// Opens a link to device `name` ("inst0" when empty) of host. Handle or -1.
int Vxi11Connect(const char* host, const char* name, int timeout_ms);
// Adds bytes to the message under way; with end set the whole message is
// written. 0, or -1.
int Vxi11Write(int link, const void* bytes, long count, int end, int timeout_ms);
// One answer, up to size - 1 bytes, NUL-terminated, without its trailing line
// end. Its length, or -1 (nothing arrived within the time-out).
int Vxi11Read(int link, char* answer, int size, int timeout_ms);
// Destroys the link and drops a message under way.
void Vxi11Close(int link);

const char* Vxi11LastProblem();
