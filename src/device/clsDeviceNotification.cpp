#include "device/clsDeviceNotification.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace qv {

namespace {

constexpr std::int32_t kHeaderSize = static_cast<std::int32_t>(sizeof(DevBroadcastHdr));
constexpr std::size_t kNameOffset = offsetof(DevBroadcastDeviceInterface, dbcc_name);

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiUpper(x) == AsciiUpper(y);
           });
}

DevBroadcastDeviceInterface MakeBroadcastRecord(const DeviceChange& change) {
    DevBroadcastDeviceInterface record;
    record.dbcc_devicetype = change.deviceType;
    if (change.deviceType != kDevTypDeviceInterface) {
        record.dbcc_size = kHeaderSize;
        return record;
    }
    // A longer path is cut to the field; a cut path names no device, so its
    // arrival fails the device check and its removal matches no receiver.
    const std::size_t n = std::min(change.path.size(), kMaxDevicePathChars);
    std::memcpy(record.dbcc_name.data(), change.path.data(), n);
    record.dbcc_size = static_cast<std::int32_t>(
        std::min(kNameOffset + n + 1, sizeof(DevBroadcastDeviceInterface)));
    return record;
}

LResult DispatchDeviceChange(WindowProcs& procs, WindowHandle hWnd, const DeviceChange& change) {
    const DevBroadcastDeviceInterface record = MakeBroadcastRecord(change);
    const WParam event =
        change.kind == DeviceChange::Kind::Arrival ? kDbtDeviceArrival : kDbtDeviceRemoveComplete;
    return procs.Dispatch(hWnd, kWmDeviceChange, event, reinterpret_cast<LParam>(&record));
}

int DispatchDeviceChanges(DeviceEvents& source, WindowProcs& procs, WindowHandle hWnd) {
    int count = 0;
    for (const DeviceChange& change : source.ReadPending()) {
        DispatchDeviceChange(procs, hWnd, change);
        ++count;
    }
    return count;
}

std::shared_ptr<clsDeviceNotification> clsDeviceNotification::Create(modSubClass& router,
                                                                     DeviceEvents& source,
                                                                     Dialogs& dialogs) {
    return std::shared_ptr<clsDeviceNotification>(
        new clsDeviceNotification(router, source, dialogs));
}

clsDeviceNotification::clsDeviceNotification(modSubClass& router, DeviceEvents& source,
                                             Dialogs& dialogs)
    : mRouter(router), mSource(source), mDialogs(dialogs) {}

clsDeviceNotification::~clsDeviceNotification() {
    DoUnregisterDeviceNotification();
}

bool clsDeviceNotification::DoRegisterDeviceInterface(WindowHandle hWnd) {
    mHWnd = hWnd;
    if (mNotifyHandle != 0) {
        // Registering again replaces the registration.
        mSource.Stop();
        mNotifyHandle = 0;
    }
    int errorNumber = 0;
    if (!mSource.Start(errorNumber)) {
        mDialogs.MsgBox("RegisterDeviceNotification failed: " + std::to_string(errorNumber),
                        MsgIcon::None, MsgButtons::Ok);
        return false;
    }
    mNotifyHandle = 1;
    mRouter.UnSubClass(*this);
    mRouter.SubClass(shared_from_this());
    return true;
}

void clsDeviceNotification::DoUnregisterDeviceNotification() {
    mSource.Stop();
    mNotifyHandle = 0;
    mRouter.UnSubClass(*this);
}

LResult clsDeviceNotification::WindowProc(WindowHandle /*hWnd*/, MessageId iMsg, WParam wParam,
                                          LParam lParam) {
    if (iMsg != kWmDeviceChange ||
        (wParam != kDbtDeviceArrival && wParam != kDbtDeviceRemoveComplete) || lParam == 0) {
        return kPassOn;
    }
    const auto* raw = reinterpret_cast<const unsigned char*>(lParam);
    DevBroadcastHdr header;
    std::memcpy(&header, raw, sizeof header);

    std::string name;
    if (header.dbch_devicetype == kDevTypDeviceInterface) {
        // Copy no more than the record says it holds and no more than our
        // record can take; the path ends at its first NUL or at the field's end.
        DevBroadcastDeviceInterface record;
        const std::size_t size = std::clamp<std::size_t>(
            static_cast<std::size_t>(std::max(header.dbch_size, 0)), sizeof header, sizeof record);
        std::memcpy(&record, raw, size);
        if (size > kNameOffset) {
            const std::size_t available = size - kNameOffset;
            const char* begin = record.dbcc_name.data();
            name.assign(begin, std::find(begin, begin + available, '\0'));
        }
    }
    const auto deviceType = header.dbch_devicetype;
    if (mEvents) {
        if (wParam == kDbtDeviceArrival) {
            mEvents->DeviceArrival(deviceType, name);
        } else {
            mEvents->DeviceRemoveComplete(deviceType, name);
        }
    }
    return kPassOn;
}

void ReceiverHotplug::DeviceArrival(std::int32_t /*wParam*/, const std::string& DeviceName) {
    std::int32_t vendorId = 0;
    std::int32_t productId = 0;
    if (!mLink.DeviceCheck(DeviceName, vendorId, productId)) {
        return;
    }
    if (vendorId != mVendorID || productId != mProductID) {
        return;
    }
    if (!mLink.ConnectDevicePath().empty()) {
        return;
    }
    mLink.ConnectReceiver();
}

void ReceiverHotplug::DeviceRemoveComplete(std::int32_t /*wParam*/, const std::string& DeviceName) {
    if (!EqualsIgnoringCase(DeviceName, mLink.ConnectDevicePath())) {
        // Another device went away: the receiver is still there, keep polling.
        return;
    }
    mLink.Destroy();
    mLink.SetLamp(false);
    mLink.DisableTimer();
}

}  // namespace qv
