// qbweb DIR [--listen ADDR:PORT]: the read-only web board.
#include "BoardHub.h"
#include "BoardReader.h"
#include "Poller.h"
#include "WebServer.h"

#include "platform/FileOps.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* kUsage =
    "usage: qbweb DIR [--listen ADDR:PORT] [--international] [--poll-ms N] [--max-pages N] [--rate N]\n"
    "  DIR              the data directory (qb3.dbf is read, never written or locked)\n"
    "  --listen         address and port to serve on (default 127.0.0.1:8080; [::1]:8080 for IPv6)\n"
    "  --international  times as yyyy-mm-dd hh:nn instead of h:nn AM mm/dd/yyyy\n"
    "  --poll-ms        how often qb3.dbf's last-write time is read (default and least 500)\n"
    "  --max-pages      open pages served at once (default 256)\n"
    "  --rate           requests per second and client address (default 20, bursts of 3 seconds' worth)\n";

bool parseListen(const std::string& text, std::string& host, int& port)
{
    std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    const std::string p = text.substr(colon + 1);
    if (p.empty() || p.size() > 5 || p.find_first_not_of("0123456789") != std::string::npos)
        return false;
    port = std::stoi(p);
    return port <= 65535;
}

bool parseCount(const char* text, long lo, long hi, long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= lo && value <= hi;
}

// A private directory for the mirror of qb3.dbf: the service's runtime
// directory when systemd gives one, else the user's, else $TMPDIR or /tmp.
std::string makeMirrorDir()
{
    const char* base = std::getenv("RUNTIME_DIRECTORY");
    if (!base || !*base)
        base = std::getenv("XDG_RUNTIME_DIR");
    if (!base || !*base)
        base = std::getenv("TMPDIR");
    if (!base || !*base)
        base = "/tmp";
    std::string dir = std::string(base) + "/qbweb-XXXXXX";
    if (!::mkdtemp(dir.data()))
        return {};
    return dir;
}

} // namespace

int main(int argc, char** argv)
{
    std::string dataDir;
    qb::web::ServerOptions options;
    bool international = false;
    long pollMs = 500;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        long n = 0;
        if (a == "--listen" && i + 1 < argc) {
            if (!parseListen(argv[++i], options.host, options.port)) {
                std::cerr << "qbweb: --listen takes ADDR:PORT, for example 127.0.0.1:8080\n";
                return 2;
            }
        } else if (a == "--international") {
            international = true;
        } else if (a == "--poll-ms" && i + 1 < argc && parseCount(argv[i + 1], 500, 3600000, n)) {
            pollMs = n;
            ++i;
        } else if (a == "--max-pages" && i + 1 < argc && parseCount(argv[i + 1], 1, 10000, n)) {
            options.maxStreams = static_cast<int>(n);
            ++i;
        } else if (a == "--rate" && i + 1 < argc && parseCount(argv[i + 1], 1, 1000000, n)) {
            options.requestsPerSecond = static_cast<double>(n);
            options.burst = 3.0 * static_cast<double>(n);
            ++i;
        } else if (a == "-h" || a == "--help") {
            std::cout << kUsage;
            return 0;
        } else if (!a.empty() && a[0] != '-' && dataDir.empty()) {
            dataDir = a;
        } else {
            std::cerr << "qbweb: unexpected argument " << a << "\n" << kUsage;
            return 2;
        }
    }
    if (dataDir.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    while (dataDir.size() > 1 && dataDir.back() == '/')
        dataDir.pop_back();

    // Stop cleanly on SIGINT/SIGTERM: every thread started below inherits
    // the blocked set and the main thread waits for them with sigwait.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    const std::string mirrorDir = makeMirrorDir();
    if (mirrorDir.empty()) {
        std::cerr << "qbweb: cannot make a private directory for the mirror: " << std::strerror(errno) << "\n";
        return 1;
    }
    qb::web::BoardReader reader(dataDir, mirrorDir, international);
    qb::web::BoardHub hub;
    qb::web::Poller poller(reader, hub);
    qb::web::WebServer server(hub, dataDir, options);
    std::string error;
    int rc = 0;
    if (!server.bind(error)) {
        std::cerr << "qbweb: " << error << "\n";
        rc = 1;
    } else {
        poller.tick(qb::web::Poller::Clock::now());
        std::thread polling([&] { poller.run(std::chrono::milliseconds(pollMs)); });
        std::thread serving([&] { server.serve(); });
        const bool v6 = options.host.find(':') != std::string::npos;
        std::cout << "qbweb: serving the board of " << dataDir << " on http://" << (v6 ? "[" : "") << options.host
                  << (v6 ? "]" : "") << ":" << server.boundPort() << "/" << std::endl;
        int sig = 0;
        sigwait(&stopSignals, &sig);
        poller.stop();
        server.stop();
        polling.join();
        serving.join();
    }
    qb::platform::removeFile(mirrorDir + "/q3.dbf");
    ::rmdir(mirrorDir.c_str());
    return rc;
}
