#include "api.h"

#include <algorithm>
#include <cctype>

namespace corvil::remote {

namespace {

using nlohmann::json;

std::string lower(std::string_view s) {
    std::string out(s);
    for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool isIPv4(std::string_view s) {
    int parts = 0;
    for (std::size_t i = 0; i <= s.size(); ++parts) {
        const std::size_t dot = std::min(s.find('.', i), s.size());
        const std::string_view part = s.substr(i, dot - i);
        if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string_view::npos ||
            std::stoi(std::string(part)) > 255)
            return false;
        i = dot + 1;
    }
    return parts == 4;
}

// %XX sequences of a path segment; false when one is broken.
bool percentDecode(std::string_view in, std::string &out) {
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            out += in[i];
            continue;
        }
        if (i + 2 >= in.size() || !std::isxdigit(static_cast<unsigned char>(in[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(in[i + 2])))
            return false;
        out += static_cast<char>(std::stoi(std::string(in.substr(i + 1, 2)), nullptr, 16));
        i += 2;
    }
    return true;
}

std::vector<std::string_view> segments(std::string_view path) {
    std::vector<std::string_view> out;
    while (!path.empty()) {
        path.remove_prefix(1); // the '/'
        const std::size_t slash = std::min(path.find('/'), path.size());
        out.push_back(path.substr(0, slash));
        path.remove_prefix(slash);
    }
    return out;
}

std::string queryValue(std::string_view query, std::string_view name) {
    while (!query.empty()) {
        const std::size_t amp = std::min(query.find('&'), query.size());
        const std::string_view pair = query.substr(0, amp);
        std::string value;
        if (pair.size() > name.size() && pair.substr(0, name.size()) == name && pair[name.size()] == '=' &&
            percentDecode(pair.substr(name.size() + 1), value))
            return value;
        query.remove_prefix(std::min(amp + 1, query.size()));
    }
    return {};
}

Response ok(const json &body) {
    Response r;
    r.body = Api::text(body);
    return r;
}

} // namespace

bool sameSecret(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false; // the length is no secret: tokens have one length
    unsigned char differ = 0;
    for (std::size_t i = 0; i < a.size(); ++i) differ |= static_cast<unsigned char>(a[i] ^ b[i]);
    return differ == 0;
}

std::string Api::text(const json &value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

Response Api::error(int status, const std::string &message) {
    Response r;
    r.status = status;
    r.body = text({{"error", message}});
    return r;
}

bool Api::hostAllowed(std::string_view host) const {
    // name[:port] or [v6][:port]
    std::string_view name = host, port;
    if (!host.empty() && host[0] == '[') {
        const std::size_t close = host.find(']');
        if (close == std::string_view::npos) return false;
        name = host.substr(0, close + 1);
        if (close + 1 < host.size()) {
            if (host[close + 1] != ':') return false;
            port = host.substr(close + 2);
        }
    } else if (const std::size_t colon = host.rfind(':'); colon != std::string_view::npos) {
        name = host.substr(0, colon);
        port = host.substr(colon + 1);
    }
    const auto &ports = access_.ports;
    if (port.empty()) {
        if (std::find(ports.begin(), ports.end(), 80) == ports.end()) return false;
    } else {
        if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos) return false;
        if (std::find(ports.begin(), ports.end(), std::stoi(std::string(port))) == ports.end()) return false;
    }
    std::string n = lower(name);
    if (!n.empty() && n.back() == '.') n.pop_back();
    // An address given as such cannot have been rebound by a name server;
    // it must be one listened on, or loopback.
    const bool v6 = n.size() > 2 && n.front() == '[' && n.back() == ']' &&
                    n.find_first_not_of("0123456789abcdef:.[]") == std::string::npos;
    if (isIPv4(n) || v6)
        return access_.anyAddress || n.starts_with("127.") || n == "[::1]" ||
               std::find(access_.addresses.begin(), access_.addresses.end(), n) != access_.addresses.end();
    if (n == "localhost") return true;
    return std::any_of(access_.names.begin(), access_.names.end(),
                       [&](const std::string &allowed) { return lower(allowed) == n; });
}

bool Api::authorized(const Request &request, std::string_view query, bool stream) const {
    if (!access_.token) return true;
    constexpr std::string_view kBearer = "Bearer ";
    const std::string_view header = request.authorization;
    if (header.size() > kBearer.size() && lower(header.substr(0, kBearer.size())) == "bearer ")
        return sameSecret(header.substr(kBearer.size()), *access_.token);
    // An EventSource cannot send headers: the stream takes the token in its address.
    if (!stream) return false;
    const std::string given = queryValue(query, "token");
    return !given.empty() && sameSecret(given, *access_.token);
}

Outcome Api::route(const Request &request) const {
    Outcome out;
    Response &r = out.response;
    if (!hostAllowed(request.host)) {
        r = error(403, "this server answers only requests addressed to it by its own address or a loopback name");
        return out;
    }
    if (!request.origin.empty() && lower(request.origin) != "http://" + lower(request.host)) {
        r = error(403, "requests from other sites are refused");
        return out;
    }
    const std::string_view target = request.target;
    const std::size_t mark = std::min(target.find('?'), target.size());
    const std::string_view path = target.substr(0, mark);
    const std::string_view query = target.substr(std::min(mark + 1, target.size()));
    if (path.empty() || path[0] != '/') {
        r = error(400, "the request target must be a path");
        return out;
    }
    const std::vector<std::string_view> parts = segments(path);
    const std::string &method = request.method;

    auto only = [&](const char *allowed) {
        if (method == allowed) return true;
        r = error(405, "use " + std::string(allowed) + " here");
        r.allow = allowed;
        return false;
    };

    if (path == "/") {
        if (!only("GET")) return out;
        r.contentType = "text/html; charset=utf-8";
        r.body = page_;
        return out;
    }
    if (parts.empty() || parts[0] != "api") {
        r = error(404, "no such page");
        return out;
    }
    const bool events = parts.size() == 2 && parts[1] == "events";
    if (!authorized(request, query, events)) {
        r = error(401, "an access token is needed: open the address corvil-remote printed, or send "
                       "Authorization: Bearer TOKEN");
        r.authenticate = true;
        return out;
    }
    if (events) {
        if (only("GET")) out.kind = Outcome::Stream;
        return out;
    }
    if (parts.size() < 2 || parts[1] != "units" || parts.size() == 4 || parts.size() > 5 ||
        (parts.size() == 5 && parts[3] != "outputs")) {
        r = error(404, "no such resource");
        return out;
    }
    if (parts.size() == 2) {
        if (!only("GET")) return out;
        json list = json::array();
        for (const auto &[serial, unit] : units_) list.push_back(toJson(unit));
        r = ok({{"units", list}});
        return out;
    }
    std::string serial;
    const auto unit = percentDecode(parts[2], serial) ? units_.find(serial) : units_.end();
    if (parts.size() == 3) {
        if (!only("GET")) return out;
        r = unit == units_.end() ? error(404, "no unit has the serial number " + serial) : ok(toJson(unit->second));
        return out;
    }
    if (!only("PUT")) return out;
    if (unit == units_.end()) {
        r = error(404, "no unit has the serial number " + serial);
        return out;
    }
    std::string type = lower(request.contentType.substr(0, request.contentType.find(';')));
    type.erase(0, type.find_first_not_of(' '));
    type.erase(type.find_last_not_of(' ') + 1);
    if (type != "application/json") {
        r = error(415, "send the change as Content-Type: application/json");
        return out;
    }
    if (request.body.size() > kMaxBody) {
        r = error(413, "a change is at most " + std::to_string(kMaxBody) + " bytes");
        return out;
    }
    if (parts[4] != "1" && parts[4] != "2") {
        r = error(400, "outputs are 1 and 2");
        return out;
    }
    std::string why;
    const std::optional<OutputChange> change = parseChange(parts[4][0] - '1', request.body, why);
    if (!change) {
        r = error(400, why);
        return out;
    }
    if (!unit->second.connected) {
        r = error(503, "unit " + serial + " is not connected");
        return out;
    }
    out.kind = Outcome::Change;
    out.serial = serial;
    out.change = *change;
    return out;
}

Response Api::changed(const ChangeResult &result) const {
    switch (result.status) {
    case ChangeResult::Done: return ok(toJson(result.unit));
    case ChangeResult::UnknownUnit: return error(404, "no unit has the serial number " + result.unit.serial);
    case ChangeResult::NotAnswering: break;
    }
    return error(503, "unit " + result.unit.serial + " is not answering");
}

} // namespace corvil::remote
