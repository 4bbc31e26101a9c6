#include "transfer/gpib.h"

#include <dlfcn.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "shell/hooks.h"
#include "shell/uldo.h"
#include "transfer/ftp.h"
#include "transfer/tcp.h"
#include "transfer/vxi11.h"

int ibsta = 0;
char instrument_resource[INSTRUMENT_RESOURCE_SIZE] = "";
InstrumentAnswers instrument_answers;

namespace {

constexpr int CMPL = 0x0100;            // ibsta: the call completed
constexpr int LAN_PORT = 5025;          // raw SCPI socket
constexpr int LAN_CONNECT_TIMEOUT = 5000;
constexpr int LAN_WRITE_TIMEOUT = 10000;  // the usual GPIB default, T10s

enum GpibKind : int { GPIB_UNSELECTED = 0, GPIB_LINUX, GPIB_LAN, GPIB_CAPTURE, GPIB_VXI11 };

using SendIFCFunction = void (*)(int);
using SendFunction = void (*)(int, Addr4882_t, const void*, long, int);
using EnableLocalFunction = void (*)(int, const Addr4882_t*);
using StatusFunction = int (*)();

struct GpibBackend {
    int kind;
    std::string library;     // linux-gpib: the library to load ("" tries the usual names)
    std::string host;        // lan
    int port;
    std::string capture_path;
    std::FILE* capture;
    int lan_handle;          // 0: not connected
    void* loaded;            // linux-gpib library handle
    std::string loaded_name; // the library it was loaded for
    SendIFCFunction send_ifc;
    SendFunction send;
    EnableLocalFunction enable_local;
    StatusFunction thread_ibsta;
    int* ibsta_variable;
    int answers;             // the instrument is asked *OPC? and SYST:ERR? after each pass
    std::string device;      // vxi11: the device name of the link
    int vxi11_link;          // -1: no link
    int address;             // GPIB resource: the address instead of globals.gpib_address (-1: none)
};

// The layer's state: the chosen backend and what it holds open. Written by
// SendIFC (the choice), the calls and the pipeline side; reset by ResetGpib.
const GpibBackend gpib_start{GPIB_UNSELECTED, {}, {}, LAN_PORT, {}, nullptr, 0, nullptr, {}, nullptr, nullptr, nullptr,
                             nullptr, nullptr, 0, {}, -1, -1};
GpibBackend gpib = gpib_start;

void CloseBackend() {
    if (gpib.capture) std::fclose(gpib.capture);
    gpib.capture = nullptr;
    if (gpib.lan_handle > 0) DisconnectFromTCPServer(gpib.lan_handle);
    gpib.lan_handle = 0;
    if (gpib.vxi11_link >= 0) Vxi11Close(gpib.vxi11_link);
    gpib.vxi11_link = -1;
}

// A VISA-style resource string into the backend fields. 0, or -1 with the reason.
int ParseResource(const std::string& text, GpibBackend* b, std::string* why) {
    auto upper = [](std::string t) {
        for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return t;
    };
    auto board_prefix = [&](const std::string& t, const char* word) {
        size_t n = std::strlen(word);
        if (upper(t.substr(0, n)) != word) return std::string::npos;
        size_t at = n;
        while (at < t.size() && std::isdigit(static_cast<unsigned char>(t[at]))) ++at;
        return t.compare(at, 2, "::") == 0 ? at + 2 : std::string::npos;
    };
    auto number = [](const std::string& t, long low, long high, long* value) {
        if (t.empty() || t.size() > 6) return false;
        for (char c : t)
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        *value = std::strtol(t.c_str(), nullptr, 10);
        return *value >= low && *value <= high;
    };
    b->answers = 0;
    b->address = -1;
    b->device.clear();
    if (size_t at = board_prefix(text, "TCPIP"); at != std::string::npos) {
        std::string host, rest;
        if (at < text.size() && text[at] == '[') {
            size_t close = text.find(']', at);
            if (close == std::string::npos) return *why = "an IPv6 address needs its closing ]", -1;
            host = text.substr(at + 1, close - at - 1);
            if (text.compare(close + 1, 2, "::") != 0) return *why = "the address must be followed by ::", -1;
            rest = text.substr(close + 3);
        } else {
            size_t sep = text.find("::", at);
            if (sep == std::string::npos) return *why = "TCPIP::HOST::INSTR or TCPIP::HOST::PORT::SOCKET", -1;
            host = text.substr(at, sep - at);
            rest = text.substr(sep + 2);
        }
        if (host.empty()) return *why = "no host", -1;
        std::vector<std::string> parts;
        for (size_t from = 0;;) {
            size_t sep = rest.find("::", from);
            parts.push_back(rest.substr(from, sep == std::string::npos ? std::string::npos : sep - from));
            if (sep == std::string::npos) break;
            from = sep + 2;
        }
        std::string last = upper(parts.back());
        if (last == "SOCKET" && parts.size() == 2) {
            long port = 0;
            if (!number(parts[0], 1, 65535, &port)) return *why = "the socket port must be 1 to 65535", -1;
            b->kind = GPIB_LAN;
            b->host = host;
            b->port = static_cast<int>(port);
            b->answers = 1;
            return 0;
        }
        if (last == "INSTR" && parts.size() <= 2) {
            b->kind = GPIB_VXI11;
            b->host = host;
            b->device = parts.size() == 2 ? parts[0] : "inst0";
            if (b->device.empty()) return *why = "empty device name", -1;
            b->answers = 1;
            return 0;
        }
        return *why = "TCPIP::HOST::INSTR, TCPIP::HOST::DEVICE::INSTR or TCPIP::HOST::PORT::SOCKET", -1;
    }
    if (size_t at = board_prefix(text, "GPIB"); at != std::string::npos) {
        std::string rest = text.substr(at);
        if (rest.size() >= 7 && upper(rest.substr(rest.size() - 7)) == "::INSTR") rest.resize(rest.size() - 7);
        std::string primary = rest, secondary;
        if (size_t sep = rest.find("::"); sep != std::string::npos) {
            primary = rest.substr(0, sep);
            secondary = rest.substr(sep + 2);
        }
        long pad = 0, sad = 0;
        if (!number(primary, 0, 30, &pad)) return *why = "the GPIB address must be 0 to 30", -1;
        if (!secondary.empty() && !number(secondary, 96, 126, &sad))
            return *why = "the secondary address must be 96 to 126", -1;
        b->kind = GPIB_LINUX;
        b->library = "";
        b->address = static_cast<int>(pad | (sad << 8));
        return 0;
    }
    return *why = "TCPIP::HOST::INSTR (VXI-11), TCPIP::HOST::PORT::SOCKET or GPIB::ADDRESS", -1;
}

int ParseLan(const std::string& rest) {
    std::string host = rest, port;
    if (!host.empty() && host[0] == '[') {
        auto close = host.find(']');
        if (close == std::string::npos) return -1;
        std::string after = host.substr(close + 1);
        host = host.substr(1, close - 1);
        if (!after.empty()) {
            if (after[0] != ':') return -1;
            port = after.substr(1);
        }
    } else if (auto colon = host.find(':'); colon != std::string::npos) {
        port = host.substr(colon + 1);
        host = host.substr(0, colon);
    }
    gpib.host = host;
    gpib.port = LAN_PORT;
    if (!port.empty()) {
        char* end = nullptr;
        long value = std::strtol(port.c_str(), &end, 10);
        if (*end || value < 1 || value > 65535) return -1;
        gpib.port = static_cast<int>(value);
    }
    return 0;
}

// Reads ULDO_GPIB. 0, or -1 after a message about the variable.
int SelectBackend() {
    CloseBackend();
    gpib.answers = 0;
    gpib.address = -1;
    if (instrument_resource[0]) {
        std::string why;
        if (ParseResource(instrument_resource, &gpib, &why) == 0) return 0;
        gpib.kind = GPIB_UNSELECTED;
        std::string message = std::string("The instrument \"") + instrument_resource + "\" is not a resource: " + why;
        return CompileError("%s", message.c_str());
    }
    const char* variable = std::getenv("ULDO_GPIB");
    std::string text = variable ? variable : "";
    int ok = 1;
    if (text.empty() || text == "linux-gpib") {
        gpib.kind = GPIB_LINUX;
        gpib.library = "";
    } else if (text.rfind("linux-gpib:", 0) == 0 && text.size() > 11) {
        gpib.kind = GPIB_LINUX;
        gpib.library = text.substr(11);
    } else if (text == "lan" || text.rfind("lan:", 0) == 0) {
        gpib.kind = GPIB_LAN;
        ok = ParseLan(text.size() > 4 ? text.substr(4) : std::string()) == 0;
    } else if (text.rfind("capture:", 0) == 0 && text.size() > 8) {
        gpib.kind = GPIB_CAPTURE;
        gpib.capture_path = text.substr(8);
    } else {
        ok = 0;
    }
    if (!ok) {
        gpib.kind = GPIB_UNSELECTED;
        std::string message = "ULDO_GPIB is not a GPIB interface: \"" + text +
                              "\" (linux-gpib[:LIBRARY], lan[:HOST[:PORT]], capture:FILE)";
        return CompileError("%s", message.c_str());
    }
    return 0;
}

int Selected() { return gpib.kind != GPIB_UNSELECTED || SelectBackend() == 0; }

// --- linux-gpib ---------------------------------------------------------------

int LoadLibrary() {
    if (gpib.loaded && gpib.loaded_name == gpib.library) return 1;
    if (gpib.loaded) dlclose(gpib.loaded);
    gpib.loaded = nullptr;
    gpib.loaded_name = gpib.library;
    const char* const usual[] = {"libgpib.so", "libgpib.so.0"};
    if (gpib.library.empty()) {
        for (const char* name : usual)
            if (!gpib.loaded) gpib.loaded = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    } else {
        gpib.loaded = dlopen(gpib.library.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!gpib.loaded) return 0;
    gpib.send_ifc = reinterpret_cast<SendIFCFunction>(dlsym(gpib.loaded, "SendIFC"));
    gpib.send = reinterpret_cast<SendFunction>(dlsym(gpib.loaded, "Send"));
    gpib.enable_local = reinterpret_cast<EnableLocalFunction>(dlsym(gpib.loaded, "EnableLocal"));
    gpib.thread_ibsta = reinterpret_cast<StatusFunction>(dlsym(gpib.loaded, "ThreadIbsta"));
    gpib.ibsta_variable = static_cast<int*>(dlsym(gpib.loaded, "ibsta"));
    if (!gpib.send_ifc || !gpib.send || !gpib.enable_local || (!gpib.thread_ibsta && !gpib.ibsta_variable)) {
        dlclose(gpib.loaded);
        gpib.loaded = nullptr;
        return 0;
    }
    return 1;
}

void LibraryStatus() { ibsta = gpib.thread_ibsta ? gpib.thread_ibsta() : *gpib.ibsta_variable; }

// --- lan ------------------------------------------------------------------------

std::string LanHost() { return gpib.host.empty() ? InstrumentHost() : gpib.host; }

// "instrument at HOST port PORT: why" for the messages of the LAN path.
std::string LanProblem(const char* what) {
    if (gpib.kind == GPIB_VXI11)
        return std::string(what) + " at " + LanHost() + " (VXI-11 " + gpib.device + "): " + Vxi11LastProblem();
    return std::string(what) + " at " + LanHost() + " port " + std::to_string(gpib.port) + ": " + TCPLastProblem();
}

int LanConnect() {
    std::string host = LanHost();
    int h = 0;
    if (ConnectToTCPServer(&h, gpib.port, host.c_str(), nullptr, nullptr, LAN_CONNECT_TIMEOUT) < 0) return 0;
    gpib.lan_handle = h;
    return 1;
}

void LanDrop() {
    if (gpib.lan_handle > 0) DisconnectFromTCPServer(gpib.lan_handle);
    gpib.lan_handle = 0;
}

int Vxi11Open() {
    gpib.vxi11_link = Vxi11Connect(LanHost().c_str(), gpib.device.c_str(), ScaledTimeout(LAN_CONNECT_TIMEOUT));
    return gpib.vxi11_link >= 0;
}

void Vxi11Drop() {
    if (gpib.vxi11_link >= 0) Vxi11Close(gpib.vxi11_link);
    gpib.vxi11_link = -1;
}

// One query on a backend that reads: the answer's length, or -1.
int Query(const char* command, char* answer, int size) {
    answer[0] = 0;
    const int timeout = ScaledTimeout(LAN_WRITE_TIMEOUT);
    const long length = static_cast<long>(std::strlen(command));
    if (gpib.kind == GPIB_VXI11) {
        if (gpib.vxi11_link < 0 && !Vxi11Open()) return -1;
        if (Vxi11Write(gpib.vxi11_link, command, length, 1, timeout) != 0) return -1;
        return Vxi11Read(gpib.vxi11_link, answer, size, timeout);
    }
    if (gpib.kind == GPIB_LAN) {
        if (gpib.lan_handle <= 0 && !LanConnect()) return -1;
        if (ClientTCPWrite(gpib.lan_handle, command, length, timeout) != length ||
            ClientTCPWrite(gpib.lan_handle, "\n", 1, timeout) != 1)
            return -1;
        return ClientTCPReadLine(gpib.lan_handle, answer, size, timeout);
    }
    return -1;
}

// After a pass: the instrument has taken everything (*OPC? answers 1) and
// reports no error (SYST:ERR? answers 0,...). 0, or -1 with the reason.
int CheckInstrument(std::string* why) {
    InstrumentAnswers& a = instrument_answers;
    a.asked = 1;
    ReportStatus("Waiting for the instrument (*OPC?)..");
    if (Query("*OPC?", a.opc, sizeof a.opc) < 0) return *why = "*OPC? was not answered", -1;
    const char* opc = a.opc;
    while (*opc == ' ' || *opc == '+') ++opc;
    if (std::strcmp(opc, "1") != 0) return *why = std::string("*OPC? answered \"") + a.opc + "\"", -1;
    if (Query("SYST:ERR?", a.error, sizeof a.error) < 0) return *why = "SYST:ERR? was not answered", -1;
    const char* e = a.error;
    while (*e == ' ' || *e == '+') ++e;
    if (!(e[0] == '0' && (e[1] == ',' || e[1] == 0))) return *why = std::string("instrument error ") + a.error, -1;
    std::string text = std::string("Instrument: *OPC? ") + a.opc + ", SYST:ERR? " + a.error;
    ReportStatus(text.c_str());
    return 0;
}

// --- capture --------------------------------------------------------------------

int CaptureOpen(const char* mode) {
    if (!gpib.capture) gpib.capture = std::fopen(gpib.capture_path.c_str(), mode);
    return gpib.capture != nullptr;
}

int CaptureDone() { return std::fflush(gpib.capture) == 0 && !std::ferror(gpib.capture); }

const char* EndModeName(int eotmode) {
    static char other[16];
    if (eotmode == NULLend) return "NULLend";
    if (eotmode == DABend) return "DABend";
    std::snprintf(other, sizeof other, "%d", eotmode);
    return other;
}

Addr4882_t InstrumentAddress() {
    return static_cast<Addr4882_t>((gpib.address >= 0 ? gpib.address : globals.gpib_address) & 0xFFFF);
}

// --- sink -------------------------------------------------------------------------

int GpibBegin(OutputSink* sink) {
    static_cast<GpibSink*>(sink->context)->failed = 0;
    return 0;
}

int GpibWrite(OutputSink* sink, const void* bytes, long count, int end_mode) {
    auto* g = static_cast<GpibSink*>(sink->context);
    if (g->failed) return -1;  // each failed Send can take the bus time-out; one is enough
    Send(0, InstrumentAddress(), bytes, count, end_mode);
    if (ibsta & ERR) {
        g->failed = 1;
        return -1;
    }
    return 0;
}

void ReportTransferFailed() {
    std::string text = "GPIB Transfer Failed";
    if (gpib.kind == GPIB_LAN || gpib.kind == GPIB_VXI11) text += " (" + LanProblem("instrument") + ")";
    CompileError("%s", text.c_str());
}

int GpibEnd(OutputSink* sink) {
    auto* g = static_cast<GpibSink*>(sink->context);
    std::string why;
    const int checked = g->failed || !gpib.answers ? 0 : CheckInstrument(&why);
    const Addr4882_t list[2] = {InstrumentAddress(), NOADDR};
    EnableLocal(0, list);
    if (g->failed) {
        ReportTransferFailed();
        return -1;
    }
    if (checked != 0) {
        std::string text = "GPIB Transfer Failed (instrument at " + LanHost() + ": " + why + ")";
        return CompileError("%s", text.c_str());
    }
    return 0;
}

// A pass that stopped early: cancelled (nothing more is sent), or ended by a
// failed Send, which is reported.
void GpibAbort(OutputSink* sink) {
    if (static_cast<GpibSink*>(sink->context)->failed) ReportTransferFailed();
}

}  // namespace

void SendIFC(int board) {
    ibsta = ERR;
    if (SelectBackend() != 0) return;
    switch (gpib.kind) {
    case GPIB_LINUX:
        if (!LoadLibrary()) return;  // no library: no card
        gpib.send_ifc(board);
        LibraryStatus();
        break;
    case GPIB_LAN:
        if (LanConnect()) ibsta = CMPL;
        break;
    case GPIB_VXI11:
        if (Vxi11Open()) ibsta = CMPL;
        break;
    case GPIB_CAPTURE:
        if (CaptureOpen("wb")) {
            std::fprintf(gpib.capture, "SendIFC %d\n", board);
            if (CaptureDone()) ibsta = CMPL;
        }
        break;
    default:
        break;
    }
}

void Send(int board, Addr4882_t address, const void* buffer, long count, int eotmode) {
    ibsta = ERR;
    if (count < 0 || (!buffer && count > 0) || !Selected()) return;
    switch (gpib.kind) {
    case GPIB_LINUX:
        if (!LoadLibrary()) return;
        gpib.send(board, address, buffer, count, eotmode);
        LibraryStatus();
        break;
    case GPIB_LAN: {
        if (gpib.lan_handle <= 0 && !LanConnect()) return;
        // A peer that has gone away would take the first write without a word.
        if (TCPPeerGone(gpib.lan_handle)) {
            LanDrop();
            return;
        }
        if (ClientTCPWrite(gpib.lan_handle, buffer, count, LAN_WRITE_TIMEOUT) != count ||
            (eotmode == DABend && ClientTCPWrite(gpib.lan_handle, "\n", 1, LAN_WRITE_TIMEOUT) != 1)) {
            LanDrop();
            return;
        }
        ibsta = CMPL;
        break;
    }
    case GPIB_VXI11:
        if (gpib.vxi11_link < 0 && !Vxi11Open()) return;
        if (Vxi11Write(gpib.vxi11_link, buffer, count, eotmode == DABend, ScaledTimeout(LAN_WRITE_TIMEOUT)) != 0) {
            Vxi11Drop();
            return;
        }
        ibsta = CMPL;
        break;
    case GPIB_CAPTURE:
        if (!CaptureOpen("ab")) return;
        std::fprintf(gpib.capture, "Send %d %u %ld %s\n", board, static_cast<unsigned>(address), count,
                     EndModeName(eotmode));
        if (count > 0) std::fwrite(buffer, 1, static_cast<size_t>(count), gpib.capture);
        std::fputc('\n', gpib.capture);
        if (CaptureDone()) ibsta = CMPL;
        break;
    default:
        break;
    }
}

void EnableLocal(int board, const Addr4882_t* addresslist) {
    ibsta = ERR;
    if (!addresslist || !Selected()) return;
    switch (gpib.kind) {
    case GPIB_LINUX:
        if (!LoadLibrary()) return;
        gpib.enable_local(board, addresslist);
        LibraryStatus();
        break;
    case GPIB_LAN:
        // The instrument goes back to local when its remote session ends.
        LanDrop();
        ibsta = CMPL;
        break;
    case GPIB_VXI11:
        // destroy_link ends the remote session.
        Vxi11Drop();
        ibsta = CMPL;
        break;
    case GPIB_CAPTURE:
        if (!CaptureOpen("ab")) return;
        std::fprintf(gpib.capture, "EnableLocal %d", board);
        for (int i = 0; i < 15 && addresslist[i] != NOADDR; ++i)
            std::fprintf(gpib.capture, " %u", static_cast<unsigned>(addresslist[i]));
        std::fputc('\n', gpib.capture);
        if (CaptureDone()) ibsta = CMPL;
        break;
    default:
        break;
    }
}

void ResetGpib() {
    CloseBackend();
    if (gpib.loaded) dlclose(gpib.loaded);
    gpib = gpib_start;
    ibsta = 0;
    instrument_resource[0] = 0;
    instrument_answers = InstrumentAnswers{};
}

int ParseInstrumentResource(const char* text, char* problem, int problem_size) {
    GpibBackend b{};
    std::string why;
    if (text && std::strlen(text) >= INSTRUMENT_RESOURCE_SIZE) why = "longer than 255 characters";
    else if (!text || !*text) why = "empty";
    else if (ParseResource(text, &b, &why) == 0) return 0;
    if (problem && problem_size > 0) std::snprintf(problem, static_cast<size_t>(problem_size), "%s", why.c_str());
    return -1;
}

int PrepareGpibOutput() {
    SendIFC(0);
    instrument_answers = InstrumentAnswers{};
    if (ibsta & ERR) {
        // Over the LAN path there is no card: say which address failed and why.
        const int lan = gpib.kind == GPIB_LAN || gpib.kind == GPIB_VXI11;
        std::string text = lan ? LanProblem("Instrument cannot be reached") : "GPIB card not found";
        return CompileError("%s", text.c_str());
    }
    Send(0, InstrumentAddress(), "*rst", 4, DABend);
    if (ibsta & ERR) {
        const int lan = gpib.kind == GPIB_LAN || gpib.kind == GPIB_VXI11;
        std::string text = lan ? LanProblem("Instrument not found") : "Instrument not found";
        return CompileError("%s", text.c_str());
    }
    return 0;
}

void InitGpibSink(GpibSink* g) {
    g->sink = {g, GpibBegin, GpibWrite, GpibEnd, GpibAbort};
    g->failed = 0;
}
