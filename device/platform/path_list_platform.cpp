#include "path_list_platform.h"

#include <cstring>

namespace corvhid {

DeviceSet PathListPlatform::getClassDevs(const Guid &, std::uint32_t) {
    DeviceSet set = nextSet_++;
    sets_[set] = listPaths();
    return set;
}

const std::string *PathListPlatform::path(DeviceSet set, std::uint32_t index) const {
    auto it = sets_.find(set);
    return it != sets_.end() && index < it->second.size() ? &it->second[index] : nullptr;
}

bool PathListPlatform::enumDeviceInterface(DeviceSet set, std::uint32_t index) { return path(set, index) != nullptr; }

std::uint32_t PathListPlatform::interfaceDetailSize(DeviceSet set, std::uint32_t index) {
    const std::string *p = path(set, index);
    return p ? static_cast<std::uint32_t>(kDetailPathOffset + p->size() + 1) : 0;
}

bool PathListPlatform::interfaceDetail(DeviceSet set, std::uint32_t index, InterfaceDetail *detail,
                                       std::uint32_t bufferSize) {
    const std::string *p = path(set, index);
    if (!p || bufferSize < kDetailPathOffset + p->size() + 1) return false;
    std::memcpy(detail->path, p->c_str(), p->size() + 1);
    return true;
}

void PathListPlatform::destroyDeviceInfoList(DeviceSet set) { sets_.erase(set); }

} // namespace corvhid
