// fuzz_uevent: device events, from a uevent as the kernel sends it ("ACTION@DEVPATH",
// then NUL-separated KEY=VALUE properties) to the arrival or removal the program acts on.
//
// The properties are split out as libudev hands them over (the first '=' divides key
// and value; a later duplicate key wins) and DeviceChangeFromUevent must give: "add" an
// arrival, "remove" a removal, anything else nothing; the path DEVNAME, below /dev/ when
// DEVNAME is relative, empty when there is none.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "device/linux/UdevDeviceEvents.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    qv::UeventProperties properties;
    std::size_t start = 0;
    bool header = true;
    while (start < input.size()) {
        const std::size_t end = std::min(input.find('\0', start), input.size());
        const std::string_view field = input.substr(start, end - start);
        start = end + 1;
        if (header && field.find('@') != std::string_view::npos) {
            header = false;  // "add@/devices/...": the same facts come again as properties
            continue;
        }
        header = false;
        const std::size_t eq = field.find('=');
        if (eq == std::string_view::npos || eq == 0) {
            continue;
        }
        properties[std::string(field.substr(0, eq))] = std::string(field.substr(eq + 1));
    }

    const std::optional<qv::DeviceChange> change = qv::DeviceChangeFromUevent(properties);
    const auto action = properties.find("ACTION");
    const bool add = action != properties.end() && action->second == "add";
    const bool remove = action != properties.end() && action->second == "remove";
    QV_FUZZ_CHECK(change.has_value() == (add || remove));
    if (!change) {
        return 0;
    }
    QV_FUZZ_CHECK(change->kind ==
                  (add ? qv::DeviceChange::Kind::Arrival : qv::DeviceChange::Kind::Removal));
    const auto devname = properties.find("DEVNAME");
    std::string path;
    if (devname != properties.end() && !devname->second.empty()) {
        path = devname->second[0] == '/' ? devname->second : "/dev/" + devname->second;
    }
    QV_FUZZ_CHECK(change->path == path);
    return 0;
}
