#include "WebServer.h"

#include "Assets.h"

#include <httplib.h>
#include <sys/socket.h>

namespace qb::web {

// httplib listens with a backlog of 5: a screen and a few dozen phones
// reconnecting at once after a restart would see connections dropped and
// retried seconds later. Listening again on the bound socket widens the queue.
class WebServer::Http : public httplib::Server {
public:
    void widenBacklog() { ::listen(svr_sock_, 256); }
};

namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kText = "text/plain; charset=utf-8";
constexpr const char* kJson = "application/json; charset=utf-8";

// No inline script or style anywhere: the page's script and style sheet are
// files of this server, and the stream and the JSON come from it too.
constexpr const char* kPolicy = "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
                                "img-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

} // namespace

std::string htmlEscape(const std::string& text)
{
    std::string s;
    s.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': s += "&amp;"; break;
        case '<': s += "&lt;"; break;
        case '>': s += "&gt;"; break;
        case '"': s += "&quot;"; break;
        case '\'': s += "&#39;"; break;
        default: s += c;
        }
    }
    return s;
}

std::string errorPage(const std::vector<std::string>& problems, const std::string& dataDir)
{
    std::string items;
    for (const auto& p : problems)
        items += "<li>" + htmlEscape(p) + "</li>\n";
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<meta http-equiv=\"refresh\" content=\"5\">\n"
           "<title>In/out board unavailable</title>\n<link rel=\"stylesheet\" href=\"/app.css\">\n</head>\n"
           "<body>\n<main class=\"trouble\" id=\"trouble\">\n<h1>The board cannot be read</h1>\n"
           "<p>The names table in <code>"
        + htmlEscape(dataDir)
        + "</code> could not be read:</p>\n<ul>\n" + items
        + "</ul>\n<p>This page tries again every 5 seconds and shows the board as soon as the table can be read "
          "again.</p>\n</main>\n</body>\n</html>\n";
}

WebServer::WebServer(BoardHub& hub, std::string dataDir, ServerOptions options)
    : m_hub(hub), m_dataDir(std::move(dataDir)), m_options(std::move(options)),
      m_limiter(m_options.requestsPerSecond, m_options.burst), m_http(std::make_unique<Http>())
{
    routes();
}

WebServer::~WebServer() = default;

void WebServer::routes()
{
    Http& h = *m_http;
    const auto threads = static_cast<std::size_t>(m_options.maxStreams) + 16;
    h.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    h.set_default_headers({{"Content-Security-Policy", kPolicy},
                           {"X-Content-Type-Options", "nosniff"},
                           {"X-Frame-Options", "DENY"},
                           {"Referrer-Policy", "no-referrer"},
                           {"Cross-Origin-Resource-Policy", "same-origin"},
                           {"Cache-Control", "no-store"}});
    // Requests carry no body here; anything with one is refused (413).
    h.set_payload_max_length(0);
    h.set_read_timeout(5, 0);
    h.set_write_timeout(5, 0);
    h.set_keep_alive_timeout(5);

    h.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        // httplib leaves the body of a GET unread, where it would be taken
        // for the next request on the connection: refuse and close instead.
        const std::string length = req.get_header_value("Content-Length");
        if (req.has_header("Transfer-Encoding") || (!length.empty() && length != "0")) {
            res.status = 413;
            res.set_header("Connection", "close");
            res.set_content("Requests to this board carry no body.\n", kText);
            return httplib::Server::HandlerResponse::Handled;
        }
        if (m_limiter.allow(req.remote_addr, RateLimiter::Clock::now()))
            return httplib::Server::HandlerResponse::Unhandled;
        res.status = 429;
        res.set_header("Retry-After", "1");
        res.set_content("Too many requests; try again in a second.\n", kText);
        return httplib::Server::HandlerResponse::Handled;
    });

    h.Get("/", [this](const httplib::Request&, httplib::Response& res) {
        auto snap = m_hub.current();
        if (snap && snap->ok()) {
            res.set_content(assets::kIndexHtml, kHtml);
        } else {
            res.status = 503;
            res.set_header("Retry-After", "5");
            res.set_content(errorPage(snap ? snap->problems : std::vector<std::string> {"The board has not been read yet."},
                                      m_dataDir),
                            kHtml);
        }
    });
    h.Get("/app.js", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(assets::kAppJs, "text/javascript; charset=utf-8");
    });
    h.Get("/app.css", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(assets::kAppCss, "text/css; charset=utf-8");
    });

    h.Get("/api/board", [this](const httplib::Request& req, httplib::Response& res) {
        auto snap = m_hub.current();
        const std::uint64_t version = m_hub.version();
        if (!snap || !snap->ok()) {
            res.status = 503;
            res.set_header("Retry-After", "5");
            res.set_content(snap ? BoardHub::problemJson(*snap, version) : std::string("{\"problems\":[]}"), kJson);
            return;
        }
        std::optional<std::string> group;
        if (req.has_param("group"))
            group = req.get_param_value("group");
        res.set_content(BoardHub::boardJson(*snap, version, group), kJson);
    });

    h.Get("/healthz", [this](const httplib::Request&, httplib::Response& res) {
        auto snap = m_hub.current();
        if (snap && snap->ok()) {
            res.set_content("{\"status\":\"ok\",\"version\":" + std::to_string(m_hub.version())
                                + ",\"rows\":" + std::to_string(snap->rows.size()) + "}",
                            kJson);
        } else {
            res.status = 503;
            std::string j = snap ? BoardHub::problemJson(*snap, m_hub.version()) : std::string("{\"problems\":[]}");
            res.set_content("{\"status\":\"unavailable\"," + j.substr(1), kJson);
        }
    });

    h.Get("/events", [this](const httplib::Request&, httplib::Response& res) {
        if (m_streams.fetch_add(1) >= m_options.maxStreams) {
            --m_streams;
            res.status = 503;
            res.set_header("Retry-After", "5");
            res.set_content("Too many open pages; try again later.\n", kText);
            return;
        }
        auto seen = std::make_shared<std::uint64_t>(0);
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, seen](std::size_t, httplib::DataSink& sink) {
                StreamMessage msg;
                if (!m_hub.next(*seen, m_options.keepAliveEvery, msg)) {
                    sink.done();
                    return true;
                }
                // A comment line keeps proxies from closing a quiet stream and
                // finds pages that went away.
                std::string out = msg.event.empty()
                    ? std::string(": keep-alive\n\n")
                    : "retry: 2000\nevent: " + msg.event + "\ndata: " + *msg.data + "\n\n";
                return sink.write(out.data(), out.size());
            },
            [this](bool) { --m_streams; });
    });

    // Nothing can be changed through this server.
    auto refuse = [](const httplib::Request&, httplib::Response& res) {
        res.status = 405;
        res.set_header("Allow", "GET, HEAD");
        res.set_content("This board is read-only.\n", kText);
    };
    h.Post(".*", refuse);
    h.Put(".*", refuse);
    h.Patch(".*", refuse);
    h.Delete(".*", refuse);
    h.Options(".*", refuse);

    h.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty())
            return;
        const char* text = res.status == 404 ? "Not found.\n"
            : res.status == 413             ? "Requests to this board carry no body.\n"
            : res.status == 414             ? "Request line too long.\n"
                                            : "Bad request.\n";
        res.set_content(text, kText);
    });
    h.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        res.status = 500;
        res.set_content("Internal error.\n", kText);
    });
}

bool WebServer::bind(std::string& error)
{
    // Port 0 takes any free port (tests); boundPort() tells which.
    int port = m_options.port == 0 ? m_http->bind_to_any_port(m_options.host)
                                   : (m_http->bind_to_port(m_options.host, m_options.port) ? m_options.port : -1);
    if (port <= 0) {
        error = "cannot listen on " + m_options.host + ":" + std::to_string(m_options.port);
        return false;
    }
    m_http->widenBacklog();
    m_boundPort = port;
    return true;
}

void WebServer::serve()
{
    m_http->listen_after_bind();
}

void WebServer::stop()
{
    m_hub.stop();
    m_http->stop();
}

} // namespace qb::web
