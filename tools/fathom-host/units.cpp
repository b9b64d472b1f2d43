#include "units.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "words.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace fathom_host {

namespace {
constexpr char kHeader[] = "# fathom-host units: id<TAB>name<TAB>address, one unit a line";

bool replaceFile(const std::string &from, const std::string &to) {
#if defined(_WIN32)
    return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}
} // namespace

bool UnitStore::load(std::string &error) {
    units_.clear();
    skipped_ = 0;
    std::error_code ec;
    if (!std::filesystem::exists(path_, ec)) return true; // no units yet
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
        error = "cannot read " + path_;
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const auto tab1 = line.find('\t');
        const auto tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        const auto id = tab1 == std::string::npos ? std::nullopt
                                                  : parseNumber(line.substr(0, tab1), INT32_MIN, INT32_MAX);
        if (tab2 == std::string::npos || !id || find(static_cast<std::int32_t>(*id))) {
            ++skipped_;
            continue;
        }
        units_.push_back({static_cast<std::int32_t>(*id), line.substr(tab1 + 1, tab2 - tab1 - 1), line.substr(tab2 + 1)});
    }
    return true;
}

bool UnitStore::save(std::string &error) const {
    const std::string temporary = path_ + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << kHeader << "\n";
        for (const Unit &u : units_) out << u.id << '\t' << storable(u.name) << '\t' << storable(u.address) << "\n";
        out.flush();
        if (!out) {
            error = "cannot write " + temporary;
            return false;
        }
    }
    if (!replaceFile(temporary, path_)) {
        error = "cannot replace " + path_;
        return false;
    }
    return true;
}

Unit *UnitStore::find(std::int32_t id) {
    for (Unit &u : units_)
        if (u.id == id) return &u;
    return nullptr;
}

Unit *UnitStore::findByName(const std::string &name) {
    for (Unit &u : units_)
        if (u.name == name) return &u;
    return nullptr;
}

Unit &UnitStore::add(const std::string &name, const std::string &address) {
    std::int32_t id = 1;
    for (const Unit &u : units_)
        if (u.id >= id) id = u.id + 1;
    units_.push_back({id, storable(name), storable(address)});
    return units_.back();
}

bool UnitStore::remove(std::int32_t id) {
    for (auto it = units_.begin(); it != units_.end(); ++it) {
        if (it->id == id) {
            units_.erase(it);
            return true;
        }
    }
    return false;
}

bool UnitStore::nameUsedByOther(const std::string &name, std::int32_t id) const {
    for (const Unit &u : units_)
        if (u.id != id && u.name == name) return true;
    return false;
}

std::string UnitStore::storable(const std::string &text) {
    std::string out = text;
    for (char &c : out)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return out;
}

} // namespace fathom_host
