#include "shell/recordfiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

int CountCarriers(const Carrier* records, int available) {
    int n = 0;
    while (n < available && records[n].frequency_hz > 0) ++n;
    return n;
}

namespace {

// Reads up to `size` bytes; a short file fills what it holds.
void ReadUpTo(FILE* f, void* into, std::size_t size) {
    std::size_t got = std::fread(into, 1, size, f);
    (void)got;
}

// fopen happily opens a directory for reading; count that as a failure to open.
FILE* OpenForReading(const char* path) {
    FILE* f = std::fopen(path, "rb");
    struct stat st;
    if (f && (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode))) {
        std::fclose(f);
        return nullptr;
    }
    return f;
}

}  // namespace

int ReadTableFile(const char* path, int first) {
    if (!path || first < 0 || first > MAX_CARRIERS) return -1;
    FILE* f = OpenForReading(path);
    if (!f) return -1;
    char format[TABLE_FORMAT_SIZE];
    ReadUpTo(f, format, sizeof format);  // format text: not checked
    ReadUpTo(f, comment, sizeof comment);

    // The file always holds 100 records; read them aside so that nothing past
    // record 99 of the table is touched, then copy what fits.
    std::vector<Carrier> incoming(MAX_CARRIERS);
    std::size_t got = std::fread(incoming.data(), 1, sizeof(Carrier) * MAX_CARRIERS, f);
    std::fclose(f);

    int room = MAX_CARRIERS - first;
    int whole = static_cast<int>(got / sizeof(Carrier));
    std::size_t bytes = std::min<std::size_t>(got, sizeof(Carrier) * room);
    std::memcpy(&signals[first], incoming.data(), bytes);

    int file_carriers = CountCarriers(incoming.data(), whole);
    return file_carriers > room ? file_carriers - room : 0;
}

int WriteTableFile(const char* path) {
    std::vector<char> image(TABLE_FILE_SIZE, 0);
    std::memcpy(image.data(), "V1.0", 4);
    std::memcpy(image.data() + TABLE_FORMAT_SIZE, comment, sizeof comment);
    image[TABLE_FORMAT_SIZE + COMMENT_SIZE - 1] = 0;  // the comment always ends within its field
    std::memcpy(image.data() + TABLE_FORMAT_SIZE + COMMENT_SIZE, signals, sizeof signals);
    return WriteFileAtomically(path, image.data(), TABLE_FILE_SIZE);
}

int ReadSettingsFile(const char* path, GlobalSettings* settings) {
    if (!path || !settings) return -1;
    FILE* f = OpenForReading(path);
    if (!f) return -1;
    ReadUpTo(f, settings, sizeof *settings);
    std::fclose(f);
    return 0;
}

int WriteSettingsFile(const char* path, const GlobalSettings* settings) {
    if (!settings) return -1;
    return WriteFileAtomically(path, settings, sizeof *settings);
}
