// GPIB transfer: the NI-488.2 calls the output passes use (SendIFC, Send,
// EnableLocal and the status word ibsta) over one of four backends, chosen
// by the resource string instrument_resource (below) or, when that is empty,
// by the environment variable ULDO_GPIB when SendIFC is called:
//
//   linux-gpib[:LIBRARY]  (default) the system's GPIB library, loaded at run
//                         time ("libgpib.so"); without it the card is absent.
//   lan[:HOST[:PORT]]     the same messages on the instrument's raw SCPI
//                         socket (HOST default globals.instrument_ip, PORT
//                         5025; "[::1]:5025" for IPv6). A message ends with
//                         EOI as a line feed. SendIFC opens the connection,
//                         EnableLocal closes it (the next Send opens it again).
//   capture:FILE          every call with its bytes and end mode into FILE,
//                         started afresh by each SendIFC (see below).
//
// Capture file: one header line per call, the bytes of a Send after its line:
//     SendIFC 0\n
//     Send 0 <address> <count> NULLend|DABend\n<count bytes>\n
//     EnableLocal 0 <address> ...\n
//
// A driver uses the pipeline side like this:
//     if (PrepareGpibOutput() != 0) stop;   // interface clear and "*rst"
//     BuildCompileTargets(0, enabled, nullptr, &targets);   // transfer/targets.h: GpibSinks
//     CompileTable(&targets);
#pragma once

#include "compile/sink.h"  // OutputSink, NULLend, DABend

using Addr4882_t = unsigned short;
constexpr Addr4882_t NOADDR = 0xFFFF;
constexpr int ERR = 0x8000;   // ibsta: the last call failed

// The driver's status word: written by every call below, read by the pipeline
// side after SendIFC and the first Send of a run (and by tests). Valid after a call.
extern int ibsta;

void SendIFC(int board);
void Send(int board, Addr4882_t address, const void* buffer, long count, int eotmode);
// addresslist ends with NOADDR.
void EnableLocal(int board, const Addr4882_t* addresslist);

// Closes the backend's connection or file and puts the whole layer back as at
// start-up: the choice, ibsta, instrument_resource and instrument_answers (tests).
void ResetGpib();

// The instrument as a VISA-style resource string (uldoc --instrument, the
// instrument options); empty leaves the choice to ULDO_GPIB:
//   TCPIP[n]::HOST[::DEVICE]::INSTR    VXI-11 link to DEVICE (default inst0)
//   TCPIP[n]::HOST::PORT::SOCKET       raw SCPI socket at PORT
//   GPIB[n]::ADDRESS[::SECONDARY][::INSTR]  linux-gpib at that address
// HOST is a name or an address, IPv6 in brackets (the raw socket only: liblxi
// links over IPv4). On the two
// LAN forms each pass ends by asking "*OPC?" (it must answer 1) and
// "SYST:ERR?" (it must answer 0,...); anything else fails the pass with the
// instrument's answer ("GPIB Transfer Failed (instrument at HOST: ...)").
constexpr int INSTRUMENT_RESOURCE_SIZE = 256;
// Written by the drivers' settings (the instrument options, uldoc --instrument)
// before a run; read by SendIFC when it chooses the backend and by uldoc's report.
extern char instrument_resource[INSTRUMENT_RESOURCE_SIZE];
// 0 when text is a resource string of the forms above, else -1 with the reason.
int ParseInstrumentResource(const char* text, char* problem, int problem_size);

// The instrument's answers at the end of the last pass (asked 0: not asked).
struct InstrumentAnswers {
    int asked;
    char opc[64];
    char error[256];
};
// Written by the pipeline side (cleared by PrepareGpibOutput, filled at the end
// of each LAN pass); read by uldoc's report after the run.
extern InstrumentAnswers instrument_answers;

// ---------------------------------------------------------------------------
// Pipeline side. The instrument address is the low 16 bits of globals.gpib_address.

// Once per run, before any computation: interface clear, then "*rst".
// 0, or -1 after "COMPILATION ERROR" / "GPIB card not found" or "Instrument not found".
int PrepareGpibOutput();

// One output pass on the bus: every chunk is one Send with its end mode; the
// end of the pass returns the instrument to local control. A cancelled pass
// sends nothing more (the message stays incomplete, no EnableLocal). A failed
// Send ends the sending of the pass, which reports "GPIB Transfer Failed"
// (on the LAN path with the address and the system's reason).
struct GpibSink {
    OutputSink sink;
    int failed;
};
void InitGpibSink(GpibSink* gpib_sink);
