// The HTTP shell of corvil-remote over Boost.Beast: listens, parses, hands
// each request to the Api, writes its answers and keeps the event streams.
// Everything here runs on the one thread that runs the io_context; the
// device thread's news are posted to it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "api.h"
#include "devices.h"

namespace corvil::remote {

struct ServerOptions {
    std::vector<boost::asio::ip::tcp::endpoint> listen;
    std::vector<std::string> names; // host names besides IP literals and localhost
    std::optional<std::string> token;
    Devices::Timing timing;
};

class Server {
public:
    // Listens at once (throws boost::system::system_error when it cannot);
    // serves once the io_context runs.
    Server(boost::asio::io_context &io, ServerOptions options);
    ~Server();

    // The endpoints listened on (with the ports given out for port 0).
    std::vector<boost::asio::ip::tcp::endpoint> endpoints() const;

    class Impl;

private:
    std::shared_ptr<Impl> impl_;
};

} // namespace corvil::remote
