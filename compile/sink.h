// The receiving end of an output pass: a sink takes the encoded waveform
// stream as chunks (file, memory, GPIB bus, FTP data connection). Each chunk
// carries the GPIB end mode its bytes are sent with (file and network sinks
// ignore it). begin_pass, end_pass and abort_pass may be null.
#pragma once

constexpr int NULLend = 0;   // no end-of-message
constexpr int DABend = 2;    // EOI with the last byte

struct OutputSink {
    // The sink's own record (FileSink, GpibSink, ...), set by its Init function.
    void* context;
    // Before the first chunk of a pass; non-zero refuses the pass.
    int (*begin_pass)(OutputSink* sink);
    // One chunk. Non-zero marks the pass as failed; later chunks are still offered.
    int (*write)(OutputSink* sink, const void* bytes, long count, int end_mode);
    // After the last chunk of a complete pass (the GPIB sink returns the
    // instrument to local control here, the file sink closes its file).
    int (*end_pass)(OutputSink* sink);
    // The pass was cancelled: nothing more is written; release what begin_pass took.
    void (*abort_pass)(OutputSink* sink);
};
