#include "composite_platform.h"
#include "virtual/virtual_platform.h"

#if defined(__linux__)
#include "hidraw/hidraw_platform.h"
#elif defined(_WIN32)
#include "win32/win32_platform.h"
#endif

namespace corvhid {

std::unique_ptr<Platform> makeSystemPlatform() {
#if defined(__linux__)
    auto system = std::make_unique<hidraw::HidrawPlatform>();
#elif defined(_WIN32)
    auto system = std::make_unique<win32::Win32Platform>();
#else
#error "no HID transport for this operating system"
#endif
    return std::make_unique<CompositePlatform>(std::move(system), std::make_unique<VirtualPlatform>(),
                                               &VirtualPlatform::ownsPath);
}

} // namespace corvhid
