#include "transfer/gpib.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shell/hooks.h"
#include "shell/uldo.h"
#include "transfer/tcp.h"

int ibsta = 0;

namespace {

constexpr int CMPL = 0x0100;            // ibsta: the call completed
constexpr int LAN_PORT = 5025;          // raw SCPI socket
constexpr int LAN_CONNECT_TIMEOUT = 5000;
constexpr int LAN_WRITE_TIMEOUT = 10000;  // the usual GPIB default, T10s

enum GpibKind : int { GPIB_UNSELECTED = 0, GPIB_LINUX, GPIB_LAN, GPIB_CAPTURE };

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
};

GpibBackend gpib{GPIB_UNSELECTED, {}, {}, LAN_PORT, {}, nullptr, 0, nullptr, {}, nullptr, nullptr, nullptr, nullptr, nullptr};

void CloseBackend() {
    if (gpib.capture) std::fclose(gpib.capture);
    gpib.capture = nullptr;
    if (gpib.lan_handle > 0) DisconnectFromTCPServer(gpib.lan_handle);
    gpib.lan_handle = 0;
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
        ReportMessage("COMPILATION ERROR", message.c_str());
        return -1;
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

std::string LanHost() { return gpib.host.empty() ? FieldText(globals.instrument_ip) : gpib.host; }

// "instrument at HOST port PORT: why" for the messages of the LAN path.
std::string LanProblem(const char* what) {
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

Addr4882_t InstrumentAddress() { return static_cast<Addr4882_t>(globals.gpib_address & 0xFFFF); }

// --- sink -------------------------------------------------------------------------

int GpibBegin(OutputSink* sink) {
    reinterpret_cast<GpibSink*>(sink)->failed = 0;
    return 0;
}

int GpibWrite(OutputSink* sink, const void* bytes, long count, int end_mode) {
    auto* g = reinterpret_cast<GpibSink*>(sink);
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
    if (gpib.kind == GPIB_LAN) text += " (" + LanProblem("instrument") + ")";
    ReportMessage("COMPILATION ERROR", text.c_str());
}

int GpibEnd(OutputSink* sink) {
    auto* g = reinterpret_cast<GpibSink*>(sink);
    const Addr4882_t list[2] = {InstrumentAddress(), NOADDR};
    EnableLocal(0, list);
    if (g->failed) {
        ReportTransferFailed();
        return -1;
    }
    return 0;
}

// A pass that stopped early: cancelled (nothing more is sent), or ended by a
// failed Send, which is reported.
void GpibAbort(OutputSink* sink) {
    if (reinterpret_cast<GpibSink*>(sink)->failed) ReportTransferFailed();
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
    gpib.kind = GPIB_UNSELECTED;
    ibsta = 0;
}

int PrepareGpibOutput() {
    SendIFC(0);
    if (ibsta & ERR) {
        // Over the LAN path there is no card: say which address failed and why.
        std::string text = gpib.kind == GPIB_LAN ? LanProblem("Instrument cannot be reached") : "GPIB card not found";
        ReportMessage("COMPILATION ERROR", text.c_str());
        return -1;
    }
    Send(0, InstrumentAddress(), "*rst", 4, DABend);
    if (ibsta & ERR) {
        std::string text = gpib.kind == GPIB_LAN ? LanProblem("Instrument not found") : "Instrument not found";
        ReportMessage("COMPILATION ERROR", text.c_str());
        return -1;
    }
    return 0;
}

void InitGpibSink(GpibSink* g) {
    g->sink = {GpibBegin, GpibWrite, GpibEnd, GpibAbort};
    g->failed = 0;
}
