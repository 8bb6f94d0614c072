#include "support/frame_probe.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace solidmorph::test {

ProbeFile open_probe_file(const std::string& folder, const char* name) {
    ProbeFile file;
    file.path = folder + "/" + name;
    int fd = open(file.path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return file;
    if (ftruncate(fd, sizeof(ProbeCounts)) == 0) {
        void* map = mmap(nullptr, sizeof(ProbeCounts), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (map != MAP_FAILED) file.counts = static_cast<ProbeCounts*>(map);
    }
    close(fd);
    return file;
}

void close_probe_file(ProbeFile& file) {
    if (file.counts != nullptr) munmap(file.counts, sizeof(ProbeCounts));
    file.counts = nullptr;
}

uint64_t probe_value(const uint64_t& counter) {
    return __atomic_load_n(&counter, __ATOMIC_RELAXED);
}

std::vector<EnvChange> probe_environment(const ProbeFile& file, bool hold_escape, int slow_ms) {
    std::string preload = SOLIDMORPH_FRAME_PROBE;
    if (const char* own = std::getenv("LD_PRELOAD"); own != nullptr && *own != '\0') {
        preload = std::string(own) + ":" + preload;
    }
    return {{"LD_PRELOAD", preload},
            {"FRAME_PROBE_FILE", file.path},
            {"FRAME_PROBE_ESCAPE", hold_escape ? "1" : "0"},
            {"FRAME_PROBE_SLOW_MS", std::to_string(slow_ms)}};
}

int64_t resident_kib(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtoll(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

}  // namespace solidmorph::test
