// corvil-remote: every connected Corvil unit in a web browser (a phone on the
// venue's network, say) and over a small HTTP interface for cue lists and
// button panels.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <boost/asio/ip/host_name.hpp>
#include <boost/asio/signal_set.hpp>

#include "qr.h"
#include "server.h"
#include "token.h"

#if defined(__linux__)
#include <ifaddrs.h>
#include <unistd.h>
#endif

namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

constexpr unsigned short kDefaultPort = 8049;

const char kUsage[] =
    "Usage: corvil-remote [--listen ADDRESS:PORT]... [--token-file FILE]\n"
    "       corvil-remote --help | --version\n"
    "Serves a page and an HTTP interface for every connected Corvil unit.\n"
    "  --listen ADDRESS:PORT  where to listen (again for more); default 127.0.0.1:8049.\n"
    "                         0.0.0.0:8049 or [::]:8049 listen on every network; PORT 0 picks one.\n"
    "                         Beyond loopback, clients need the access token printed with the address.\n"
    "  --token-file FILE      take the access token from FILE (made when missing) and ask for it on\n"
    "                         every address, loopback too. Otherwise it is kept in "
#if defined(_WIN32)
    "%APPDATA%\\Tolvane\\Corvil\\remote-token.\n";
#else
    "~/.config/corvil/remote-token.\n";
#endif

// A usage error: one line naming it, and where to look (exit 2).
int usage(const std::string &why) {
    std::fprintf(stderr, "corvil-remote: %s\nTry 'corvil-remote --help' for more information.\n", why.c_str());
    return 2;
}

// ADDRESS:PORT, ADDRESS an IP address ([...] for IPv6) or a name to look up.
bool parseListen(asio::io_context &io, const std::string &text, std::vector<tcp::endpoint> &out, std::string &name) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    std::string host = text.substr(0, colon);
    const std::string port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
        std::stoul(port) > 65535)
        return false;
    if (host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    boost::system::error_code ec;
    const asio::ip::address address = asio::ip::make_address(host, ec);
    if (!ec) {
        out.emplace_back(address, static_cast<unsigned short>(std::stoul(port)));
        return true;
    }
    name = host;
    for (const auto &entry : tcp::resolver(io).resolve(host, port, ec)) out.push_back(entry.endpoint());
    return !ec;
}

std::string urlHost(const asio::ip::address &address) {
    return address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
}

// The addresses a listener on "any address" can be reached at.
std::vector<std::string> machineAddresses([[maybe_unused]] bool v6) {
    std::vector<std::string> out;
#if defined(__linux__)
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) == 0) {
        for (ifaddrs *i = list; i; i = i->ifa_next) {
            if (!i->ifa_addr || (i->ifa_addr->sa_family != AF_INET && !(v6 && i->ifa_addr->sa_family == AF_INET6)))
                continue;
            asio::ip::address a;
            if (i->ifa_addr->sa_family == AF_INET) {
                a = asio::ip::make_address_v4(
                    ntohl(reinterpret_cast<const sockaddr_in *>(i->ifa_addr)->sin_addr.s_addr));
            } else {
                asio::ip::address_v6::bytes_type bytes;
                std::memcpy(bytes.data(), &reinterpret_cast<const sockaddr_in6 *>(i->ifa_addr)->sin6_addr, 16);
                a = asio::ip::make_address_v6(bytes);
                if (a.to_v6().is_link_local()) continue; // needs a zone to be opened
            }
            if (!a.is_loopback()) out.push_back(urlHost(a));
        }
        ::freeifaddrs(list);
    }
#endif
    out.push_back(asio::ip::host_name());
    return out;
}

} // namespace

int main(int argc, char **argv) {
    asio::io_context io(1);
    corvil::remote::ServerOptions options;
    std::string tokenFile;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("corvil-remote %s\n", CORVIL_VERSION);
            return 0;
        }
        if ((arg == "--listen" || arg == "--token-file") && i + 1 >= argc) return usage(arg + " needs a value");
        if (arg == "--listen") {
            std::string name;
            if (!parseListen(io, argv[++i], options.listen, name))
                return usage(std::string("--listen takes ADDRESS:PORT, not \"") + argv[i] + "\"");
            if (!name.empty()) options.names.push_back(name);
        } else if (arg == "--token-file") {
            tokenFile = argv[++i];
        } else {
            return usage("unknown option '" + arg + "'");
        }
    }
    if (options.listen.empty()) options.listen.emplace_back(asio::ip::address_v4::loopback(), kDefaultPort);

    bool beyondLoopback = false;
    for (const tcp::endpoint &e : options.listen) beyondLoopback = beyondLoopback || !e.address().is_loopback();
    try {
        if (!tokenFile.empty() || beyondLoopback)
            options.token = corvil::remote::loadOrCreateToken(tokenFile.empty() ? corvil::remote::defaultTokenPath()
                                                                                 : tokenFile);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "corvil-remote: %s\n", e.what());
        return 1;
    }
    options.names.push_back(asio::ip::host_name());
    options.names.push_back(asio::ip::host_name() + ".local");

    // Stopping is taken from here on: whoever reads the address below may stop
    // the program at once, and it still shuts down in order.
    asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](const boost::system::error_code &, int) { io.stop(); });

    std::optional<corvil::remote::Server> server;
    try {
        server.emplace(io, options);
    } catch (const boost::system::system_error &e) {
        std::fprintf(stderr, "corvil-remote: cannot listen: %s\n", e.what());
        return 1;
    }

    const std::string fragment = options.token ? "#token=" + *options.token : "";
    std::printf("corvil-remote: open the Corvil remote at\n");
    std::vector<std::string> urls;
    for (const tcp::endpoint &e : server->endpoints()) {
        std::vector<std::string> hosts{urlHost(e.address())};
        if (e.address().is_unspecified()) hosts = machineAddresses(e.address().is_v6());
        for (const std::string &host : hosts) {
            urls.push_back("http://" + host + ":" + std::to_string(e.port()) + "/" + fragment);
            std::printf("  %s\n", urls.back().c_str());
        }
    }
    if (options.token) {
        std::printf("Clients of the HTTP interface send the header \"Authorization: Bearer %s\".\n",
                    options.token->c_str());
        corvil::remote::printQrCode(urls.front());
    }
    std::fflush(stdout);

    io.run();
    server.reset();
    return 0;
}
