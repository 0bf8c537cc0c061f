// The HTTP side of the web board, on cpp-httplib: the page and its script and
// style sheet, the live stream of changes (Server-Sent Events), the JSON board
// for integrations and the health check. GET and HEAD only; nothing here can
// change a table.
#pragma once

#include "BoardHub.h"
#include "RateLimiter.h"

#include <atomic>
#include <memory>
#include <string>

namespace qb::web {

struct ServerOptions {
    std::string host = "127.0.0.1";
    int port = 8080;
    int maxStreams = 256;       // open pages at once; each holds one worker thread
    double requestsPerSecond = 20; // per client address
    double burst = 60;
    std::chrono::seconds keepAliveEvery {15};
};

// Escapes text for HTML element content and attribute values.
std::string htmlEscape(const std::string& text);
// The page shown while the board cannot be read.
std::string errorPage(const std::vector<std::string>& problems, const std::string& dataDir);

class WebServer {
public:
    WebServer(BoardHub& hub, std::string dataDir, ServerOptions options);
    ~WebServer();

    // Binds the address; false with a reason when it cannot.
    bool bind(std::string& error);
    // Serves until stop(); call after bind().
    void serve();
    void stop();
    int boundPort() const { return m_boundPort; }

private:
    class Http;
    void routes();

    BoardHub& m_hub;
    std::string m_dataDir;
    ServerOptions m_options;
    RateLimiter m_limiter;
    std::unique_ptr<Http> m_http;
    std::atomic<int> m_streams {0};
    int m_boundPort = 0;
};

} // namespace qb::web
