#include "server.h"

#include <deque>

#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "page.h"

namespace corvil::remote {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

// A client has this long to send a whole request.
constexpr auto kRequestTimeout = std::chrono::seconds(30);
constexpr std::size_t kMaxConnections = 256;
constexpr std::size_t kMaxHeader = 8192;
// An event stream that falls this far behind is closed (its page opens a new one).
constexpr std::size_t kMaxQueuedEvents = 4096;
// Lets clients and anything in between see that an idle stream is alive.
constexpr auto kKeepAlive = std::chrono::seconds(15);

const char kPageSecurity[] = "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                             "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

using Text = std::shared_ptr<const std::string>;

std::string eventText(const Unit &unit, std::uint64_t id) {
    return "event: unit\nid: " + std::to_string(id) + "\ndata: " + Api::text(toJson(unit)) + "\n\n";
}

} // namespace

class Session;

class Server::Impl : public std::enable_shared_from_this<Impl> {
public:
    Impl(asio::io_context &io, ServerOptions options);
    void start(Devices::Timing timing);
    void stop();
    void accept(tcp::acceptor &acceptor);
    void onUnit(const Unit &unit);
    void keepAlive();

    asio::io_context &io;
    std::vector<tcp::acceptor> acceptors;
    std::map<std::string, Unit> units; // as published to the clients
    std::optional<Api> api;
    std::vector<std::weak_ptr<Session>> streams;
    std::size_t connections = 0;
    std::uint64_t sequence = 0; // id of the last event
    asio::steady_timer keepAliveTimer;
    std::unique_ptr<Devices> devices;
};

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, std::shared_ptr<Server::Impl> server)
        : stream_(std::move(socket)), server_(std::move(server)) {
        ++server_->connections;
        beast::error_code ignored;
        stream_.socket().set_option(tcp::no_delay(true), ignored);
    }
    ~Session() { --server_->connections; }

    void read() {
        parser_.emplace();
        parser_->body_limit(kMaxBody);
        parser_->header_limit(kMaxHeader);
        stream_.expires_after(kRequestTimeout);
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onRead(ec); });
    }

    // Queues one event (or keep-alive) of an open stream.
    void push(const Text &text) {
        if (!streaming_) return;
        if (queued_.size() >= kMaxQueuedEvents) return close();
        queued_.push_back(text);
        if (queued_.size() == 1) writeNext();
    }

    void close() {
        streaming_ = false;
        queued_.clear();
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.close();
    }

private:
    void onRead(beast::error_code ec) {
        if (ec == http::error::end_of_stream || ec == beast::error::timeout || ec == asio::error::operation_aborted)
            return close();
        if (ec == http::error::body_limit)
            return respond(Api::error(413, "a request body is at most " + std::to_string(kMaxBody) + " bytes"), false);
        if (ec) return respond(Api::error(400, "malformed HTTP request"), false);
        const auto &m = parser_->get();
        auto header = [&](http::field f) {
            // A header given twice is taken as not given.
            return m.count(f) == 1 ? std::string(m[f]) : std::string();
        };
        Request request{std::string(m.method_string()),           std::string(m.target()),
                        header(http::field::host),                header(http::field::origin),
                        header(http::field::content_type),        header(http::field::authorization),
                        m.body()};
        keepAlive_ = m.keep_alive();
        Outcome outcome = server_->api->route(request);
        switch (outcome.kind) {
        case Outcome::Respond: return respond(std::move(outcome.response), keepAlive_);
        case Outcome::Stream: return startStream();
        case Outcome::Change: break;
        }
        stream_.expires_never(); // the device thread answers in its own time, bounded
        server_->devices->submit(outcome.serial, outcome.change,
                                 [self = shared_from_this(), &io = server_->io](ChangeResult result) {
                                     asio::post(io, [self, result = std::move(result)] {
                                         self->respond(self->server_->api->changed(result), self->keepAlive_);
                                     });
                                 });
    }

    void respond(Response r, bool keepAlive) {
        auto res = std::make_shared<http::response<http::string_body>>(static_cast<http::status>(r.status), 11);
        res->set(http::field::server, "corvil-remote");
        res->set(http::field::content_type, r.contentType);
        res->set(http::field::cache_control, "no-store");
        res->set("X-Content-Type-Options", "nosniff");
        res->set("Referrer-Policy", "no-referrer");
        if (r.contentType.starts_with("text/html")) {
            res->set("Content-Security-Policy", kPageSecurity);
            res->set("X-Frame-Options", "DENY");
        }
        if (!r.allow.empty()) res->set(http::field::allow, r.allow);
        if (r.authenticate) res->set(http::field::www_authenticate, "Bearer");
        res->body() = std::move(r.body);
        res->keep_alive(keepAlive);
        res->prepare_payload();
        stream_.expires_after(kRequestTimeout);
        http::async_write(stream_, *res, [self = shared_from_this(), res, keepAlive](beast::error_code ec, std::size_t) {
            if (ec || !keepAlive) return self->close();
            self->read();
        });
    }

    void startStream() {
        stream_.expires_never();
        streaming_ = true;
        server_->streams.push_back(weak_from_this());
        std::string text = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
                           "X-Content-Type-Options: nosniff\r\nConnection: keep-alive\r\n\r\nretry: 1000\n\n";
        // Every unit as it is now, then each change.
        for (const auto &[serial, unit] : server_->units) text += eventText(unit, server_->sequence);
        push(std::make_shared<const std::string>(std::move(text)));
        watchForClose();
    }

    // A stream's client sends nothing more: reading ends when it goes away.
    void watchForClose() {
        stream_.async_read_some(asio::buffer(sink_), [self = shared_from_this()](beast::error_code ec, std::size_t) {
            if (ec) return self->close();
            self->watchForClose();
        });
    }

    void writeNext() {
        asio::async_write(stream_, asio::buffer(*queued_.front()),
                          [self = shared_from_this()](beast::error_code ec, std::size_t) {
                              if (ec || self->queued_.empty()) return self->close();
                              self->queued_.pop_front();
                              if (!self->queued_.empty()) self->writeNext();
                          });
    }

    beast::tcp_stream stream_;
    beast::flat_buffer buffer_{kMaxHeader + kMaxBody};
    std::optional<http::request_parser<http::string_body>> parser_;
    std::shared_ptr<Server::Impl> server_;
    bool keepAlive_ = false;
    bool streaming_ = false;
    std::deque<Text> queued_;
    char sink_[256];
};

Server::Impl::Impl(asio::io_context &io, ServerOptions options) : io(io), keepAliveTimer(io) {
    Access access{{}, std::move(options.names), std::move(options.token), {}};
    for (const tcp::endpoint &endpoint : options.listen) {
        tcp::acceptor &a = acceptors.emplace_back(io);
        a.open(endpoint.protocol());
        a.set_option(asio::socket_base::reuse_address(true));
        if (endpoint.address().is_v6()) a.set_option(asio::ip::v6_only(true));
        a.bind(endpoint);
        a.listen();
        access.ports.push_back(a.local_endpoint().port());
        const asio::ip::address address = endpoint.address();
        access.addresses.push_back(address.is_v6() ? "[" + address.to_string() + "]" : address.to_string());
        access.anyAddress = access.anyAddress || address.is_unspecified();
    }
    api.emplace(std::move(access), units, kPage);
}

void Server::Impl::start(Devices::Timing timing) {
    for (tcp::acceptor &a : acceptors) accept(a);
    keepAlive();
    devices = std::make_unique<Devices>(
        [weak = weak_from_this(), &io = io](const Unit &unit) {
            asio::post(io, [weak, unit] {
                if (auto self = weak.lock()) self->onUnit(unit);
            });
        },
        timing);
}

void Server::Impl::stop() {
    for (tcp::acceptor &a : acceptors) {
        beast::error_code ignored;
        a.close(ignored);
    }
    keepAliveTimer.cancel();
    devices.reset();
    for (auto &weak : streams)
        if (auto s = weak.lock()) s->close();
}

void Server::Impl::accept(tcp::acceptor &acceptor) {
    acceptor.async_accept([self = shared_from_this(), &acceptor](beast::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor.is_open()) return;
        if (!ec && self->connections < kMaxConnections)
            std::make_shared<Session>(std::move(socket), self)->read();
        // (Past the limit, or on an error, the connection is dropped.)
        self->accept(acceptor);
    });
}

void Server::Impl::onUnit(const Unit &unit) {
    units[unit.serial] = unit;
    const Text text = std::make_shared<const std::string>(eventText(unit, ++sequence));
    std::erase_if(streams, [&](const std::weak_ptr<Session> &weak) {
        auto s = weak.lock();
        if (s) s->push(text);
        return !s;
    });
}

void Server::Impl::keepAlive() {
    keepAliveTimer.expires_after(kKeepAlive);
    keepAliveTimer.async_wait([weak = weak_from_this()](beast::error_code ec) {
        auto self = weak.lock();
        if (ec || !self) return;
        const Text text = std::make_shared<const std::string>(": keep-alive\n\n");
        for (auto &w : self->streams)
            if (auto s = w.lock()) s->push(text);
        self->keepAlive();
    });
}

Server::Server(asio::io_context &io, ServerOptions options) {
    const Devices::Timing timing = options.timing;
    impl_ = std::make_shared<Impl>(io, std::move(options));
    impl_->start(timing);
}

Server::~Server() { impl_->stop(); }

std::vector<tcp::endpoint> Server::endpoints() const {
    std::vector<tcp::endpoint> out;
    for (const tcp::acceptor &a : impl_->acceptors) out.push_back(a.local_endpoint());
    return out;
}

} // namespace corvil::remote
