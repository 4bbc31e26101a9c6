// The compile targets of a run: one sink per enabled output pass, of the kind
// the output destination needs (globals.output_destination: 0 GPIB, 1
// native-format file, 2 GPIB-format file, 3 FTP). Both drivers build them
// here; each prepares the destination itself (file dialogue or command line,
// PrepareGpibOutput, PrepareFtpOutput), since that is where they differ.
//
//     char names[PASS_IQ + 1][TARGET_PATH_SIZE];
//     NamePassFiles(path, iq_settings.enabled, iq_settings.format, names);   // file destinations
//     CompileTargets targets{};
//     BuildCompileTargets(destination, enabled, names, &targets);
//     CompileTable(&targets);
//     target_sinks.files[p].outcome   // which file was written, which left unfinished
#pragma once

#include "compile/engine.h"   // CompileTargets, PASS_IQ
#include "compile/output.h"   // FileSink
#include "transfer/ftp.h"     // FtpSink
#include "transfer/gpib.h"    // GpibSink

constexpr int TARGET_PATH_SIZE = sizeof(FileSink::path);

// The sinks the targets point at. Written by BuildCompileTargets, read by the
// engine during the run and by the driver afterwards (the file outcomes);
// valid until the next BuildCompileTargets or ResetTargetSinks.
struct TargetSinks {
    FileSink files[PASS_IQ + 1];
    GpibSink buses[PASS_IQ + 1];
    FtpSink servers[PASS_IQ + 1];
};
extern TargetSinks target_sinks;

// The file names of the passes from the waveform path of pass 1: pass 2 and
// 3 with "_I" and "_Q" before the extension (buildname), and with with_iq the
// complex record beside the waveform: the path up to its file name's first
// '.', with the extension of iq_format. 0, or -1 when a name does not fit
// TARGET_PATH_SIZE (the names are then empty).
int NamePassFiles(const char* path, int with_iq, int iq_format, char (*names)[TARGET_PATH_SIZE]);

// Points targets->sink[p] at a fresh sink for every pass p with enabled[p]
// (enabled has PASS_IQ + 1 entries, entry 0 unused): a GPIB sink for
// destination 0, an FTP sink for 3, a file sink on names[p] for 1 and 2
// (names may be null for 0 and 3). The other entries of targets are left as
// they are. 0, or -1 after a "COMPILATION ERROR" (unknown destination, the
// complex record on a transfer, a file pass without a name).
int BuildCompileTargets(int destination, const int* enabled, const char (*names)[TARGET_PATH_SIZE],
                        CompileTargets* targets);

// Every sink back to its initial state (tests).
void ResetTargetSinks();
