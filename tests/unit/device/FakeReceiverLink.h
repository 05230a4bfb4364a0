#pragma once
// The receiver link as the hotplug handling sees it: records the calls, and
// answers an identity read with the identifiers a test sets.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/ReceiverLinkOps.h"

namespace qv::test {

class FakeReceiverLink : public ReceiverLinkOps {
public:
    std::vector<std::string> calls;
    bool isHid = true;
    std::int32_t vid = 0x1234, pid = 0x0001;
    std::string connected;
    std::optional<DeviceIds> ReadIds(const std::string& path) override {
        calls.push_back("ReadIds " + path);
        return isHid ? std::optional<DeviceIds>(DeviceIds{vid, pid}) : std::nullopt;
    }
    std::string ConnectDevicePath() override { return connected; }
    void ConnectReceiver() override { calls.push_back("ConnectReceiver"); }
    void ReceiverRemoved() override {
        calls.push_back("ReceiverRemoved");
        connected.clear();
    }
};

}  // namespace qv::test
