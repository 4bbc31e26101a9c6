#include "transfer/targets.h"

#include <cstring>

#include "compile/iqformats.h"
#include "shell/hooks.h"
#include "shell/uldo.h"

TargetSinks target_sinks;

int NamePassFiles(const char* path, int with_iq, int iq_format, char (*names)[TARGET_PATH_SIZE]) {
    for (int p = 0; p <= PASS_IQ; ++p) names[p][0] = 0;
    auto refuse = [&] {
        for (int p = 0; p <= PASS_IQ; ++p) names[p][0] = 0;
        return -1;
    };
    if (!path || !SetField(names[1], path)) return refuse();
    if (buildname(names[2], path, "_I") != 0 || buildname(names[3], path, "_Q") != 0) return refuse();
    if (!with_iq) return 0;
    // A dot in a directory name is not the extension.
    const char* slash = std::strrchr(path, '/');
    const char* dot = std::strchr(slash ? slash + 1 : path, '.');
    const std::size_t stem = dot ? static_cast<std::size_t>(dot - path) : std::strlen(path);
    const char* extension = IqExtension(iq_format);
    if (stem + std::strlen(extension) >= TARGET_PATH_SIZE) return refuse();
    std::memcpy(names[PASS_IQ], path, stem);
    std::strcpy(names[PASS_IQ] + stem, extension);
    return 0;
}

int BuildCompileTargets(int destination, const int* enabled, const char (*names)[TARGET_PATH_SIZE],
                        CompileTargets* targets) {
    if (destination < 0 || destination > 3) return CompileError("Unknown output destination %d", destination);
    if (enabled[PASS_IQ] && destination != 1)
        return CompileError("The complex I/Q record is written to a native-format file only.");
    for (int p = 1; p <= PASS_IQ; ++p) {
        if (!enabled[p]) continue;
        if (destination == 0) {
            InitGpibSink(&target_sinks.buses[p]);
            targets->sink[p] = &target_sinks.buses[p].sink;
        } else if (destination == 3) {
            InitFtpSink(&target_sinks.servers[p], p);
            targets->sink[p] = &target_sinks.servers[p].sink;
        } else {
            if (!names || !names[p][0]) return CompileError("No file name for output pass %d.", p);
            InitFileSink(&target_sinks.files[p], names[p], destination);
            targets->sink[p] = &target_sinks.files[p].sink;
        }
    }
    return 0;
}

void ResetTargetSinks() {
    for (int p = 0; p <= PASS_IQ; ++p) {
        InitFileSink(&target_sinks.files[p], "", 1);
        InitGpibSink(&target_sinks.buses[p]);
        InitFtpSink(&target_sinks.servers[p], p);
    }
}
