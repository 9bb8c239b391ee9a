// A stand-in for the Harborlet companion: listens on a Unix socket, handles one connection at a
// time and appends every line it receives to a log file. A "list" command is answered with the
// dock list given as the third argument (one JSON line). Ends on SIGTERM, or after two minutes.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: fake_companion SOCKET LOG [LIST_REPLY]\n");
        return 2;
    }
    const std::string socketPath = argv[1];
    const std::string logPath = argv[2];
    const std::string listReply = argc > 3 ? argv[3] : "{\"docks\":[]}";

    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", socketPath.c_str());
    ::unlink(socketPath.c_str());
    if (server < 0 || ::bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        ::listen(server, 16) != 0) {
        std::perror("fake_companion");
        return 1;
    }
    // Ready marker for the test: the socket exists and accepts.
    std::ofstream(logPath + ".ready") << "ready\n";

    for (int waited = 0; waited < 120000;) {
        pollfd pfd{server, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, 100);
        if (ready <= 0) {
            waited += 100;
            continue;
        }
        const int client = ::accept(server, nullptr, nullptr);
        if (client < 0)
            continue;
        std::string pending;
        char chunk[1024];
        for (;;) {
            const ssize_t got = ::read(client, chunk, sizeof(chunk));
            if (got <= 0)
                break;
            pending.append(chunk, static_cast<size_t>(got));
            size_t newline = 0;
            bool answered = false;
            while ((newline = pending.find('\n')) != std::string::npos) {
                const std::string line = pending.substr(0, newline);
                pending.erase(0, newline + 1);
                std::ofstream(logPath, std::ios::app) << line << "\n";
                if (line.find("\"list\"") != std::string::npos) {
                    const std::string reply = listReply + "\n";
                    (void)::write(client, reply.data(), reply.size());
                    answered = true;
                }
            }
            if (answered)
                break;
        }
        ::close(client);
    }
    ::close(server);
    ::unlink(socketPath.c_str());
    return 0;
}
