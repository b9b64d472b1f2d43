#include "sysfs.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace corvhid::hidraw {
namespace fs = std::filesystem;

namespace {
std::string classDir(const std::string &sysRoot, const std::string &name) {
    return sysRoot + "/class/hidraw/" + name;
}

std::optional<std::string> slurp(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool parseHex(const std::string &text, unsigned long &value) {
    if (text.empty()) return false;
    char *end = nullptr;
    value = std::strtoul(text.c_str(), &end, 16);
    return end != text.c_str() && (*end == '\0' || *end == '\n');
}
} // namespace

std::vector<std::string> listInterfaces(const std::string &sysRoot) {
    std::vector<std::pair<unsigned long, std::string>> found;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(sysRoot + "/class/hidraw", ec)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("hidraw", 0) != 0 || name.size() == 6) continue;
        std::string digits = name.substr(6);
        if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
        found.emplace_back(std::strtoul(digits.c_str(), nullptr, 10), name);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (auto &f : found) names.push_back(std::move(f.second));
    return names;
}

std::optional<Ids> readIds(const std::string &sysRoot, const std::string &name) {
    auto uevent = slurp(classDir(sysRoot, name) + "/device/uevent");
    if (!uevent) return std::nullopt;
    std::istringstream lines(*uevent);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("HID_ID=", 0) != 0) continue;
        // HID_ID=0003:00001049:00000001
        std::string rest = line.substr(7);
        auto first = rest.find(':'), second = rest.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) return std::nullopt;
        unsigned long vendor = 0, product = 0;
        if (!parseHex(rest.substr(first + 1, second - first - 1), vendor) ||
            !parseHex(rest.substr(second + 1), product) || vendor > 0xFFFF || product > 0xFFFF)
            return std::nullopt;
        return Ids{static_cast<std::uint16_t>(vendor), static_cast<std::uint16_t>(product)};
    }
    return std::nullopt;
}

std::optional<std::uint16_t> readVersion(const std::string &sysRoot, const std::string &name) {
    std::error_code ec;
    fs::path dir = fs::canonical(classDir(sysRoot, name) + "/device", ec);
    if (ec) return std::nullopt;
    const fs::path root = fs::canonical(sysRoot, ec);
    for (; !dir.empty() && dir != root && dir != dir.root_path(); dir = dir.parent_path()) {
        if (auto text = slurp(dir / "bcdDevice")) {
            unsigned long version = 0;
            if (!parseHex(*text, version) || version > 0xFFFF) return std::nullopt;
            return static_cast<std::uint16_t>(version);
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> readDescriptor(const std::string &sysRoot, const std::string &name) {
    auto bytes = slurp(classDir(sysRoot, name) + "/device/report_descriptor");
    if (!bytes) return std::nullopt;
    return std::vector<std::uint8_t>(bytes->begin(), bytes->end());
}

} // namespace corvhid::hidraw
