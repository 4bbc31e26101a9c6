// FTP client of the network output: stores the compiled waveform files on
// the instrument's FTP server (anonymous login unless a user is set, passive
// mode, binary STOR), and the compile pipeline's side of it.
//
// The server is InstrumentHost() (a name, an IPv4 or an IPv6 address), port
// globals.ftp_port. Passive mode is PASV; on an IPv6 connection EPSV comes
// first, and a server that refuses PASV is asked EPSV. Every step shows
// its status text (ReportStatus); a failure shows its failure text and ends
// the operation, closing the connections it opened. Commands end in CR LF.
// A reply is read line by line up to its last line (multi-line replies
// "220-" ... "220 "); the expected code is searched in that line.
//
// A driver (GUI Calculate, uldoc) uses the pipeline side like this:
//     r = PrepareFtpOutput(name);        // name, or nullptr to prompt "FTP File Name"
//     r == 1: stop silently (no name); r < 0: stop ("FTP Connection Failed" shown)
//     CompileTargets targets{};
//     BuildCompileTargets(3, enabled, nullptr, &targets);   // transfer/targets.h: FtpSinks
//     result = CompileTable(&targets);   // each pass: CWD, TYPE, PASV, STOR, data, 226
//     FinishFtpOutput();                 // QUIT and close; always call it
#pragma once

#include "compile/sink.h"  // OutputSink

#include <string>

constexpr int INSTRUMENT_HOST_SIZE = 256;
// The host to connect to (ftp.host, else globals.instrument_ip), without the
// brackets of an IPv6 address.
std::string InstrumentHost();

// The login of FTPConnect: a user and password, or (null or empty user) the
// anonymous login. Neither may hold a line end. 0, or -1 when one does.
int SetFtpLogin(const char* user, const char* password);

// The connections of the dialogue, in the globals the calling side passes by
// address. Written by FTPConnect, FTPConnect2 and the pipeline side (0 when
// closed); read by those and by the sink while a run is under way.
extern int nethdl;   // control connection (0: none)
extern int nethdl2;  // data connection (0: none)

// The event callback given to every connect; does nothing.
int ClientCallback(unsigned handle, int event, int error, void* callback_data);

// Connects the control connection and logs in anonymously. 1, or 0 after the
// failure texts (the connection is then closed and *control is 0).
int FTPConnect(int* control);
// Root directory, binary type, passive mode, the data connection and
// "STOR /" + name on a logged-in control connection. 1 when the server waits
// for the content on *data; 0 after the failure texts (a data connection it
// opened is closed again, *data is 0; the control connection stays open).
int FTPConnect2(int* control, int* data, const char* name);
// FTPConnect and FTPConnect2 in one call; on failure both connections are closed.
int FTPConnect3(int* control, int* data, const char* name);

// Data port of a "229" reply "(|||port|)" (any delimiter), -1 without one.
int ParseEpsv(const char* reply);
// Data port of a "227" reply: 256 * fifth + sixth number of its list of six
// (each 0..255). -1 when the reply does not hold six such numbers.
int ParsePasv(const char* reply);
// The four numbers of a dotted address text. Without any "." all four are
// 255; with fewer than three dots the missing ones are 255. A part without
// leading digits is 0. Returns 0.
int ParseIpAdr(const char* text, int numbers[4]);

// ---------------------------------------------------------------------------
// Pipeline side.

constexpr int FTP_NAME_LENGTH = 20;

struct FtpOutput {
    int open;                            // logged in; nethdl is the control connection
    int data_open;                       // a file transfer is under way on nethdl2
    int data_failed;                     // a write of the current file failed
    char name[FTP_NAME_LENGTH + 1];      // file name of the RF pass
    char current[FTP_NAME_LENGTH + 8];   // file of the transfer under way
    long long sent;                      // its bytes on the data connection so far
};

// The client's state beside the two connections. Written by the drivers (host:
// uldoc --ip; the login: SetFtpLogin; pauses: SetFtpStatusPauses) before a run
// and by the pipeline side (output) during it; read by the FTP operations.
// Valid from start-up; ResetFtp puts all of it back, ResetFtpOutput (at the
// start of every run) only the connections and output.
struct FtpState {
    char host[INSTRUMENT_HOST_SIZE];   // a host that does not fit globals.instrument_ip (a name,
                                       // an IPv6 address); empty: instrument_ip is the host
    std::string user;                  // empty: anonymous
    std::string password;
    int status_pauses;                 // the one-second pauses after each status text
    FtpOutput output;
};
extern FtpState ftp;

// Output preparation: the file name (name, or the prompt "FTP File Name" of
// at most 20 characters when name is null) and FTPConnect. 0: logged in;
// 1: no name, the run stops silently; -1: "COMPILATION ERROR" shown (bad name,
// or "FTP Connection Failed").
int PrepareFtpOutput(const char* name);

// One output pass over FTP. begin_pass: file name (pass 1 the name, 2 and 3
// with "_I" / "_Q") and FTPConnect2; write: the bytes on the data connection;
// end_pass: close the data connection and check the "226" reply.
// A transfer that is cancelled (abort_pass) or whose data could not all be
// sent is cut: the server would keep a file whose header announces the whole
// record, so the client deletes it ("DELE") and the status says
// "Transfer of NAME cut after N bytes; ..." and whether the file was deleted.
struct FtpSink {
    OutputSink sink;
    int pass;
};
void InitFtpSink(FtpSink* ftp_sink, int pass);

// End of the run: "QUIT", its reply shown, the control connection closed.
// Nothing to do after a failure (the connections are closed then). 0, or -1
// after the failure texts.
int FinishFtpOutput();

// Closes every connection of the network output without a word and forgets
// the transfer's file names (start of a run, tests, exit).
void ResetFtpOutput();
// All of ftp and both connections back to their start-up state (tests).
void ResetFtp();

// The one-second pauses that keep each status text readable on the progress
// panel (on by default); uldoc prints every status on a line and needs none.
void SetFtpStatusPauses(int on);
