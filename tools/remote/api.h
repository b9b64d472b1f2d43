// corvil-remote's HTTP interface without the sockets: a request's checks
// (Host, Origin, access token, content type, size), its routing and the JSON
// it gets back. The server hands each parsed request here and carries out
// what comes back: an answer, an event stream, or a change for the device
// thread to make.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "units.h"

namespace corvil::remote {

// Bodies above this are refused (413) unread.
inline constexpr std::size_t kMaxBody = 4096;

struct Request {
    std::string method, target;
    std::string host, origin, contentType, authorization; // empty when absent
    std::string body;
};

struct Response {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::string allow; // for 405
    bool authenticate = false; // WWW-Authenticate: Bearer (401)
};

struct Access {
    // The ports listened on; a Host header must name one of them.
    std::vector<std::uint16_t> ports;
    // Host names taken besides loopback names and addresses: the listening
    // names and this machine's name.
    std::vector<std::string> names;
    // When set, every /api request must carry it.
    std::optional<std::string> token;
    // The addresses listened on (IPv6 in brackets); any address when one of
    // them is the unspecified one.
    std::vector<std::string> addresses;
    bool anyAddress = false;
};

// Result of a change made by the device thread.
struct ChangeResult {
    enum Status { Done, UnknownUnit, NotAnswering } status = Done;
    Unit unit;
};

struct Outcome {
    enum Kind { Respond, Stream, Change } kind = Respond;
    Response response;   // Respond
    std::string serial;  // Change
    OutputChange change; // Change
};

class Api {
public:
    // `units` is the state the server publishes (by serial), kept up to date
    // by its owner; `page` the remote's page.
    Api(Access access, const std::map<std::string, Unit> &units, std::string_view page)
        : access_(std::move(access)), units_(units), page_(page) {}

    Outcome route(const Request &request) const;
    Response changed(const ChangeResult &result) const;

    static Response error(int status, const std::string &message);
    // JSON text of any value: bytes that are not UTF-8 (a serial number may
    // hold any) are replaced, never thrown on.
    static std::string text(const nlohmann::json &value);

private:
    bool hostAllowed(std::string_view host) const;
    bool authorized(const Request &request, std::string_view query, bool stream) const;

    Access access_;
    const std::map<std::string, Unit> &units_;
    std::string_view page_;
};

// Equal strings, in a time that does not depend on where they differ.
bool sameSecret(std::string_view a, std::string_view b);

} // namespace corvil::remote
