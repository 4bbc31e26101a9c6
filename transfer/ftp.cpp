#include "transfer/ftp.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "compile/output.h"  // buildname names the I and Q files
#include "shell/hooks.h"
#include "shell/uldo.h"
#include "transfer/tcp.h"

int nethdl = 0;
int nethdl2 = 0;
FtpState ftp = {"", {}, {}, 1, {}};

namespace {

const char* const kNetworkFailed = "Network Connection Failed. Exiting..";

constexpr int REPLY_SIZE = 512;
constexpr int REPLY_LINES = 200;  // a multi-line reply longer than this is not a reply
constexpr int CONNECT_TIMEOUT = 5000;
constexpr int COMMAND_TIMEOUT = 5000;
constexpr int REPLY_TIMEOUT = 1000;
constexpr int DATA_TIMEOUT = 1000;

// Keeps a status text on the panel long enough to be read.
void Pause() {
    if (ftp.status_pauses) Delay(1.0);
}

// The failure of a step: its text between two waits, as the status line shows it.
void ShowFailure(const char* text) {
    Pause();
    ReportStatus(text);
    Pause();
}

void Close(int* handle) {
    if (*handle > 0) DisconnectFromTCPServer(*handle);
    *handle = 0;
}

int SendCommand(int handle, const char* command, const char* failure) {
    long length = static_cast<long>(std::strlen(command));
    if (ClientTCPWrite(handle, command, length, COMMAND_TIMEOUT) != length) {
        ShowFailure(failure);
        return 0;
    }
    return 1;
}

// A whole reply; reply holds its last line (the one with the final code).
int ReadReply(int handle, char* reply, int size) {
    int n = ClientTCPReadLine(handle, reply, size, REPLY_TIMEOUT);
    if (n < 0) return n;
    // "xyz-" opens a multi-line reply that ends with a line "xyz ..." or "xyz".
    if (n >= 4 && std::isdigit(static_cast<unsigned char>(reply[0])) &&
        std::isdigit(static_cast<unsigned char>(reply[1])) &&
        std::isdigit(static_cast<unsigned char>(reply[2])) && reply[3] == '-') {
        char code[4] = {reply[0], reply[1], reply[2], 0};
        for (int lines = 1;; ++lines) {
            if (lines > REPLY_LINES) return TCP_IO_ERROR;
            n = ClientTCPReadLine(handle, reply, size, REPLY_TIMEOUT);
            if (n < 0) return n;
            if (n >= 3 && std::memcmp(reply, code, 3) == 0 && (reply[3] == ' ' || reply[3] == 0)) break;
        }
    }
    return n;
}

// Reads a reply and looks for the expected code (or the alternative one)
// anywhere in its line. 1, or 0 after the failure texts.
int ExpectReply(int handle, const char* code, const char* alternative, const char* failure, char* reply,
                int size) {
    if (ReadReply(handle, reply, size) < 0) {
        ShowFailure(kNetworkFailed);
        return 0;
    }
    if (!std::strstr(reply, code) && !(alternative && std::strstr(reply, alternative))) {
        ReportStatus(reply);
        Pause();
        ReportStatus(failure);
        Pause();
        return 0;
    }
    return 1;
}

int Command(int handle, const char* command, const char* code, const char* alternative, const char* send_failure,
            const char* reply_failure, char* reply) {
    return SendCommand(handle, command, send_failure) &&
           ExpectReply(handle, code, alternative, reply_failure, reply, REPLY_SIZE);
}

int Connect(int* handle, int port) {
    std::string host = InstrumentHost();
    int h = 0;
    if (ConnectToTCPServer(&h, port, host.c_str(), ClientCallback, nullptr, CONNECT_TIMEOUT) < 0) {
        ShowFailure(kNetworkFailed);
        return 0;
    }
    *handle = h;
    return 1;
}

long LeadingValue(const char* p) {
    long value = 0;
    for (; std::isdigit(static_cast<unsigned char>(*p)); ++p)
        if (value < 100000000) value = value * 10 + (*p - '0');
    return value;
}

// Six numbers 0..255 joined by commas at p; the port from the last two.
int PasvList(const char* p) {
    int numbers[6];
    for (int i = 0; i < 6; ++i) {
        if (i > 0) {
            while (*p == ' ') ++p;
            if (*p++ != ',') return -1;
            while (*p == ' ') ++p;
        }
        int digits = 0, value = 0;
        for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
            if (++digits > 3) return -1;
            value = value * 10 + (*p - '0');
        }
        if (digits == 0 || value > 255) return -1;
        numbers[i] = value;
    }
    return numbers[4] * 256 + numbers[5];
}

int ValidName(const char* name);

// Data port of the passive mode, by EPSV or PASV; -1 after the failure texts.
int PassivePort(int h, char* reply) {
    auto refused = [&](const char* failure) {
        ReportStatus(reply);
        Pause();
        ReportStatus(failure);
        Pause();
        return -1;
    };
    auto epsv = [&]() {
        if (!Command(h, "EPSV\r\n", "229", nullptr, "Command EPSV Failed. Exiting..",
                     "Command EPSV(229) Failed. Exiting..", reply))
            return -1;
        int port = ParseEpsv(reply);
        return port < 0 ? refused("Command EPSV(229) Failed. Exiting..") : port;
    };
    // PASV names an IPv4 address; on IPv6 the extended form is the one that works.
    if (TCPIsIPv6(h)) return epsv();
    if (!SendCommand(h, "PASV\r\n", "Command PASV Failed. Exiting..")) return -1;
    if (ReadReply(h, reply, REPLY_SIZE) < 0) {
        ShowFailure(kNetworkFailed);
        return -1;
    }
    if (!std::strstr(reply, "227")) {
        // A server that refuses PASV ("500", "502", "425 use EPSV") may offer EPSV.
        if (reply[0] == '4' || reply[0] == '5') return epsv();
        return refused("Command PASV(227) Failed. Exiting..");
    }
    int port = ParsePasv(reply);
    return port < 0 ? refused("Command PASV(227) Failed. Exiting..") : port;
}

int ValidName(const char* name) {
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p)
        if (*p < 0x20 || *p == 0x7F) return 0;  // a line end would start a command of its own
    return 1;
}

// The control connection goes as well: the dialogue cannot continue.
void CloseSession() {
    Close(&nethdl2);
    Close(&nethdl);
    ftp.output.open = 0;
    ftp.output.data_open = 0;
    ftp.output.data_failed = 0;
}

// --- sink -------------------------------------------------------------------

int FtpBegin(OutputSink* sink) {
    auto* f = static_cast<FtpSink*>(sink->context);
    if (!ftp.output.open || nethdl <= 0) {
        return CompileError("FTP Connection Failed");
    }
    char name[FTP_NAME_LENGTH + 8];
    if (f->pass == 2 || f->pass == 3) {
        if (buildname(name, ftp.output.name, f->pass == 2 ? "_I" : "_Q") != 0) {
            CloseSession();
            return -1;
        }
    } else {
        std::snprintf(name, sizeof name, "%s", ftp.output.name);
    }
    if (!FTPConnect2(&nethdl, &nethdl2, name)) {
        CloseSession();
        return -1;
    }
    ftp.output.data_open = 1;
    ftp.output.data_failed = 0;
    std::snprintf(ftp.output.current, sizeof ftp.output.current, "%s", name);
    ftp.output.sent = 0;
    return 0;
}

// The server keeps what it got of a transfer that did not complete, under
// the name of the whole record: the file is deleted, and the status says so.
// late: the server's answer to the cut may still come, before DELE's.
// 1 when the control connection can go on, 0 when it cannot.
int DeletePartial(int late) {
    char reply[REPLY_SIZE];
    std::string dele = std::string("DELE /") + ftp.output.current + "\r\n";
    long length = static_cast<long>(dele.size());
    int deleted = 0;
    if (ClientTCPWrite(nethdl, dele.c_str(), length, COMMAND_TIMEOUT) == length) {
        for (int k = 0; k < 1 + late && !deleted; ++k) {
            if (ReadReply(nethdl, reply, REPLY_SIZE) < 0) break;
            deleted = std::strncmp(reply, "250", 3) == 0;
        }
    }
    int alive = deleted || TCPPeerGone(nethdl) == 0;
    char text[160];
    std::snprintf(text, sizeof text, "Transfer of %s cut after %lld bytes; %s", ftp.output.current, ftp.output.sent,
                  deleted ? "the partial file was deleted" : "the partial file could not be deleted");
    ReportStatus(text);
    Pause();
    return alive;
}

// A transfer stopped before its end: the data connection is closed, the
// server's answer to that taken and the partial file deleted.
int CutTransfer() {
    Close(&nethdl2);
    ftp.output.data_open = 0;
    char reply[REPLY_SIZE];
    int r = ReadReply(nethdl, reply, REPLY_SIZE);
    if (r < 0 && r != TCP_TIMEOUT) {
        DeletePartial(0);  // says that the file could not be deleted
        return 0;
    }
    return DeletePartial(r == TCP_TIMEOUT);
}

int FtpWrite(OutputSink*, const void* bytes, long count, int) {
    if (!ftp.output.data_open || ftp.output.data_failed) return -1;
    if (ClientTCPWrite(nethdl2, bytes, count, DATA_TIMEOUT) != count) {
        // The file on the server would be cut short: the transfer has failed.
        ftp.output.data_failed = 1;
        ShowFailure(kNetworkFailed);
        return -1;
    }
    ftp.output.sent += count;
    return 0;
}

int FtpEnd(OutputSink*) {
    if (!ftp.output.data_open) return -1;
    if (ftp.output.data_failed) {
        CutTransfer();
        CloseSession();
        return -1;
    }
    ftp.output.data_open = 0;
    int closed = DisconnectFromTCPServer(nethdl2);
    nethdl2 = 0;
    if (closed < 0) {
        ShowFailure("Disconnection 1 Failed. Exiting..");
        CloseSession();
        return -1;
    }
    char reply[REPLY_SIZE];
    int r = ReadReply(nethdl, reply, REPLY_SIZE);
    if (r >= 0 && std::strstr(reply, "226")) return 0;
    if (r >= 0) {
        ReportStatus(reply);
        Pause();
        ReportStatus("Command STOR(226) Failed. Exiting..");
        Pause();
    } else {
        ShowFailure(kNetworkFailed);
    }
    // All the data was handed over, but the server did not take it all.
    if (r >= 0 || r == TCP_TIMEOUT) DeletePartial(r == TCP_TIMEOUT);
    CloseSession();
    return -1;
}

// Cancelled, or stopped by a failed write: either way the transfer is cut.
// After a failed write the dialogue ends there (no QUIT on a broken dialogue).
void FtpAbort(OutputSink*) {
    if (!ftp.output.data_open) return;
    int failed = ftp.output.data_failed;
    if (!CutTransfer() || failed) CloseSession();
}

}  // namespace

int ClientCallback(unsigned, int, int, void*) { return 0; }

int FTPConnect(int* control) {
    if (!control) return 0;
    int h = 0;
    char reply[REPLY_SIZE];
    ReportStatus("Establishing Network Connection..");
    if (!Connect(&h, globals.ftp_port)) return 0;
    int ok = ExpectReply(h, "220", nullptr, kNetworkFailed, reply, REPLY_SIZE);
    const std::string user = ftp.user.empty() ? "anonymous" : ftp.user;
    const std::string password = ftp.user.empty() ? "lupin" : ftp.password;
    if (ok) {
        ReportStatus("Sending user name..");
        ok = Command(h, ("USER " + user + "\r\n").c_str(), "331", nullptr, "Command USER Failed. Exiting..",
                     "Command USER(331) Failed. Exiting..", reply);
    }
    if (ok) {
        ReportStatus("Sending password..");
        ok = Command(h, ("PASS " + password + "\r\n").c_str(), "230", nullptr, "Command PASS Failed. Exiting..",
                     "Command PASS(230) Failed. Exiting..", reply);
    }
    if (!ok) {
        Close(&h);
        *control = 0;
        return 0;
    }
    *control = h;
    return 1;
}

int FTPConnect2(int* control, int* data, const char* name) {
    if (!control || !data || !name || *control <= 0) return 0;
    int h = *control;
    char reply[REPLY_SIZE];
    ReportStatus("Changing directory to root..");
    if (!Command(h, "CWD /\r\n", "250", nullptr, "Command CWD Failed. Exiting..",
                 "Command CWD(250) Failed. Exiting..", reply))
        return 0;
    ReportStatus("Setting binary transfer mode..");
    if (!Command(h, "TYPE I\r\n", "200", nullptr, "Command TYPE Failed. Exiting..",
                 "Command TYPE(200) Failed. Exiting..", reply))
        return 0;
    Pause();
    ReportStatus("Retrieving socket information..");
    int port = PassivePort(h, reply);
    if (port < 0) return 0;
    // The data connection goes to the instrument's address, not to the one in the reply.
    int d = 0;
    if (!Connect(&d, port)) return 0;
    ReportStatus("Creating file in target..");
    std::string stor = std::string("STOR /") + name + "\r\n";
    // 125 is the other positive preliminary reply: the data connection was already open.
    if (!Command(h, stor.c_str(), "150", "125", "Command STOR Failed. Exiting..",
                 "Command STOR(150) Failed. Exiting..", reply)) {
        Close(&d);
        *data = 0;
        return 0;
    }
    *data = d;
    return 1;
}

int FTPConnect3(int* control, int* data, const char* name) {
    if (!FTPConnect(control)) return 0;
    if (!FTPConnect2(control, data, name)) {
        Close(control);
        return 0;
    }
    return 1;
}

int ParseEpsv(const char* reply) {
    if (!reply) return -1;
    const char* p = std::strchr(reply, '(');
    if (!p || !p[1]) return -1;
    const char d = p[1];
    if (std::isdigit(static_cast<unsigned char>(d)) || p[2] != d || p[3] != d) return -1;
    p += 4;
    long port = 0;
    int digits = 0;
    for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
        if (++digits > 5) return -1;
        port = port * 10 + (*p - '0');
    }
    if (digits == 0 || *p != d || p[1] != ')' || port < 1 || port > 65535) return -1;
    return static_cast<int>(port);
}

int ParsePasv(const char* reply) {
    if (!reply) return -1;
    for (const char* p = reply; *p; ++p) {
        if (!std::isdigit(static_cast<unsigned char>(*p))) continue;
        if (p > reply && std::isdigit(static_cast<unsigned char>(p[-1]))) continue;
        int port = PasvList(p);
        if (port >= 0) return port;
    }
    return -1;
}

int ParseIpAdr(const char* text, int numbers[4]) {
    for (int i = 0; i < 4; ++i) numbers[i] = 255;
    if (!text || !std::strchr(text, '.')) return 0;
    numbers[0] = static_cast<int>(LeadingValue(text));
    const char* p = text;
    for (int i = 1; i < 4 && p; ++i) {
        p = std::strchr(p, '.');
        if (p) numbers[i] = static_cast<int>(LeadingValue(++p));
    }
    return 0;
}

// ---------------------------------------------------------------------------

int PrepareFtpOutput(const char* name) {
    ResetFtpOutput();
    char typed[FTP_NAME_LENGTH + 1] = "";
    if (name) {
        if (std::strlen(name) > FTP_NAME_LENGTH) {
            return CompileError("The FTP File Name has more than %d characters", FTP_NAME_LENGTH);
        }
        std::snprintf(typed, sizeof typed, "%s", name);
    } else if (!PromptText("FTP File Name", "FTP File Name", typed, FTP_NAME_LENGTH)) {
        return 1;
    }
    typed[FTP_NAME_LENGTH] = 0;
    if (!typed[0]) return 1;
    if (!ValidName(typed)) return CompileError("Invalid FTP File Name");
    if (!FTPConnect(&nethdl)) return CompileError("FTP Connection Failed");
    std::memcpy(ftp.output.name, typed, sizeof typed);
    ftp.output.open = 1;
    return 0;
}

void InitFtpSink(FtpSink* f, int pass) {
    f->sink = {f, FtpBegin, FtpWrite, FtpEnd, FtpAbort};
    f->pass = pass;
}

int FinishFtpOutput() {
    if (!ftp.output.open) return 0;
    if (ftp.output.data_open) FtpAbort(nullptr);
    if (!ftp.output.open) return -1;
    char reply[REPLY_SIZE];
    if (ClientTCPWrite(nethdl, "QUIT\r\n", 6, COMMAND_TIMEOUT) != 6 || ReadReply(nethdl, reply, REPLY_SIZE) < 0) {
        ShowFailure(kNetworkFailed);
        CloseSession();
        return -1;
    }
    ReportStatus(reply);
    Pause();
    int closed = DisconnectFromTCPServer(nethdl);
    nethdl = 0;
    ftp.output.open = 0;
    if (closed < 0) {
        ShowFailure("Disconnection 2 Failed. Exiting..");
        return -1;
    }
    return 0;
}

void ResetFtpOutput() {
    CloseSession();
    ftp.output.name[0] = 0;
    ftp.output.current[0] = 0;
    ftp.output.sent = 0;
}

void ResetFtp() {
    ResetFtpOutput();
    ftp = FtpState{"", {}, {}, 1, {}};
}

void SetFtpStatusPauses(int on) { ftp.status_pauses = on != 0; }

std::string InstrumentHost() {
    std::string host = ftp.host[0] ? std::string(ftp.host) : FieldText(globals.instrument_ip);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    return host;
}

int SetFtpLogin(const char* user, const char* password) {
    if ((user && !ValidName(user)) || (password && !ValidName(password))) return -1;
    ftp.user = user ? user : "";
    ftp.password = password ? password : "";
    return 0;
}
