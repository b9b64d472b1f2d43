// The host's own units: id, name and unit address, kept in a plain text
// file from one run to the next. The plug-in never sees this file; it is
// told a unit's name and address when the host calls it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fathom_host {

struct Unit {
    std::int32_t id = 0;
    std::string name;
    std::string address;
};

class UnitStore {
public:
    explicit UnitStore(std::string path) : path_(std::move(path)) {}

    // Reads the file; a missing file is an empty list. Lines that do not
    // hold a unit are skipped and counted. False only when the file exists
    // but cannot be read.
    bool load(std::string &error);
    // Writes the whole list to a new file and puts it in the old one's place.
    bool save(std::string &error) const;

    const std::string &path() const { return path_; }
    const std::vector<Unit> &units() const { return units_; }
    int skippedLines() const { return skipped_; }

    Unit *find(std::int32_t id);
    Unit *findByName(const std::string &name);
    // A new unit with the next free id (one more than the highest, from 1).
    Unit &add(const std::string &name, const std::string &address);
    bool remove(std::int32_t id);
    // Another unit than `id` has exactly this name.
    bool nameUsedByOther(const std::string &name, std::int32_t id) const;

    // A text as a line of the file can hold it: tabs and line ends become blanks.
    static std::string storable(const std::string &text);

private:
    std::string path_;
    std::vector<Unit> units_;
    int skipped_ = 0;
};

} // namespace fathom_host
