// A stand-in application executable for tests. Copied into a bundle's Contents/MacOS/, it reads
// Contents/Resources/fakeapp.conf next to itself:
//   ignore-term        keep running on SIGTERM (only SIGKILL ends it)
//   record=<file>      append one line with the arguments (tab-separated) at start
// It then waits for a signal, at most two minutes so a leaked process ends by itself.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::string bundleOf(const std::string& exe) {
    const std::string marker = "/Contents/MacOS/";
    const auto at = exe.rfind(marker);
    return at == std::string::npos ? std::string() : exe.substr(0, at);
}

} // namespace

int main(int argc, char** argv) {
    char buffer[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    const std::string exe = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string(argv[0]);
    bool ignoreTerm = false;
    std::string recordFile;
    std::ifstream conf(bundleOf(exe) + "/Contents/Resources/fakeapp.conf");
    for (std::string line; std::getline(conf, line);) {
        if (line == "ignore-term")
            ignoreTerm = true;
        if (line.rfind("record=", 0) == 0)
            recordFile = line.substr(7);
    }
    if (!recordFile.empty()) {
        std::ofstream out(recordFile, std::ios::app);
        for (int i = 1; i < argc; ++i)
            out << (i > 1 ? "\t" : "") << argv[i];
        out << "\n";
    }
    if (ignoreTerm)
        std::signal(SIGTERM, SIG_IGN);
    for (int i = 0; i < 1200; ++i)
        ::usleep(100 * 1000);
    return 0;
}
