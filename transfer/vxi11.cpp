#include "transfer/vxi11.h"

#include <lxi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int initialised = 0;
std::vector<char> message;  // the pieces of the message under way (one link at a time)
char problem[200] = "";

void Problem(const char* what) { std::snprintf(problem, sizeof problem, "%s", what); }

}  // namespace

int Vxi11Connect(const char* host, const char* name, int timeout_ms) {
    if (!initialised) {
        lxi_init();
        initialised = 1;
    }
    message.clear();
    if (!host || !*host) {
        Problem("no host given");
        return -1;
    }
    int link = lxi_connect(host, 0, name && *name ? name : "inst0", timeout_ms, VXI11);
    if (link < 0) {
        Problem("no VXI-11 link (the portmapper or the core channel did not answer)");
        return -1;
    }
    return link;
}

int Vxi11Write(int link, const void* bytes, long count, int end, int timeout_ms) {
    if (link < 0 || count < 0) return -1;
    const char* p = static_cast<const char*>(bytes);
    if (count > 0) message.insert(message.end(), p, p + count);
    if (!end) return 0;
    // liblxi takes an int length.
    if (message.size() > 0x7FFFFFFFu) {
        message.clear();
        Problem("message longer than 2 GiB");
        return -1;
    }
    int length = static_cast<int>(message.size());
    int sent = lxi_send(link, message.data(), length, timeout_ms);
    message.clear();
    if (sent != length) {
        Problem("device_write failed");
        return -1;
    }
    return 0;
}

int Vxi11Read(int link, char* answer, int size, int timeout_ms) {
    if (link < 0 || !answer || size < 2) return -1;
    int n = lxi_receive(link, answer, size - 1, timeout_ms);
    if (n < 0) {
        answer[0] = 0;
        Problem("device_read got no answer");
        return -1;
    }
    while (n > 0 && (answer[n - 1] == '\n' || answer[n - 1] == '\r')) --n;
    answer[n] = 0;
    return n;
}

void Vxi11Close(int link) {
    message.clear();
    if (link >= 0) lxi_disconnect(link);
}

const char* Vxi11LastProblem() { return problem; }
