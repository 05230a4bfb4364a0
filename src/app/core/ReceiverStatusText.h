#pragma once
// What the window says about the receiver link, in the window's language:
// the lamp's colour, a short status line and a tooltip that names the device,
// the system's reason and what to do.

#include <chrono>
#include <string>

#include "app/core/ReceiverStatus.h"
#include "device/HidTransport.h"
#include "device/ReceiverLink.h"

namespace qv {

// How often the start sequence is tried again while a receiver is open but
// not started.
inline constexpr std::chrono::seconds kStartRetryInterval{5};

// The window's account of `status`; `configured` are the identifiers the
// program looks for.
ReceiverStatus DescribeLink(const LinkStatus& status, DeviceIds configured);

// The identifiers as the configuration file and the udev rule write them:
// four hexadecimal digits of the 16-bit value ("1234", "04D8").
std::string IdText(std::int32_t id);

}  // namespace qv
