#pragma once
// The receiver link as the hotplug handling sees it: records the calls, and
// answers the device check with the identifiers a test sets.

#include <cstdint>
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
    bool DeviceCheck(const std::string& path, std::int32_t& v, std::int32_t& p) override {
        calls.push_back("DeviceCheck " + path);
        v = vid;
        p = pid;
        return isHid;
    }
    std::string ConnectDevicePath() override { return connected; }
    void Destroy() override {
        calls.push_back("Destroy");
        connected.clear();
    }
    void ConnectReceiver() override { calls.push_back("ConnectReceiver"); }
    void SetLamp(bool green) override { calls.push_back(green ? "green" : "red"); }
    void DisableTimer() override { calls.push_back("DisableTimer"); }
};

}  // namespace qv::test
