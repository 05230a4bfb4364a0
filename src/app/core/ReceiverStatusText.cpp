#include "app/core/ReceiverStatusText.h"

#include <cstdio>

namespace qv {

std::string IdText(std::int32_t id) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(id) & 0xFFFFu);
    return text;
}

ReceiverStatus DescribeLink(const LinkStatus& status, DeviceIds configured) {
    const std::string ids =
        "VendorID " + IdText(configured.vendorId) + "・ProductID " + IdText(configured.productId);
    const std::string retry = std::to_string(kStartRetryInterval.count());
    ReceiverStatus shown;
    switch (status.state) {
        case LinkStatus::State::Running:
            shown.lamp = LampColor::Green;
            shown.line = "受信中（" + status.path + "）";
            shown.toolTip = "受信機 " + status.path + "（" + ids + "）から受信しています。";
            break;
        case LinkStatus::State::NotFound:
            shown.lamp = LampColor::Red;
            shown.line = "受信機が見つかりません（" + ids + "）";
            shown.toolTip = ids +
                            " の受信機が見つかりません。受信機を挿してください。別の受信機を使うと"
                            "きは、Quorvane.ini の [HID] の VendorID と ProductID を合わせてくだ"
                            "さい。";
            break;
        case LinkStatus::State::CannotOpen: {
            shown.lamp = LampColor::Red;
            const std::string reason = status.openError.reason.empty()
                                           ? std::string()
                                           : "（" + status.openError.reason + "）";
            shown.line = "受信機を開けません: " + status.path + reason;
            shown.toolTip = "受信機 " + status.path + " を開けません" + reason + "。";
            if (!status.openError.advice.empty()) {
                shown.toolTip += status.openError.advice;
            }
            break;
        }
        case LinkStatus::State::Unusable:
            shown.lamp = LampColor::Red;
            shown.line = "受信機として使えません: " + status.path;
            shown.toolTip = status.path + " は " + ids +
                            " ですが、レポートの長さが受信機のコマンドに合いません。";
            break;
        case LinkStatus::State::NotStarted:
            shown.lamp = LampColor::Amber;
            if (status.startFailure == SequenceOutcome::ReceiverError) {
                shown.line = "受信機がエラーを返しました。" + retry + "秒ごとに再試行中";
                shown.toolTip = "受信機 " + status.path +
                                " は開けましたが、開始のコマンドにエラーを返しました（PICシステ"
                                "ムからエラーが返されました。）。";
            } else {
                shown.line = "受信機が応答しません。" + retry + "秒ごとに再試行中";
                shown.toolTip = "受信機 " + status.path +
                                " は開けましたが、開始のコマンドに応答しません（PICシステムへのコ"
                                "マンド送信に失敗しました。）。";
            }
            shown.toolTip += "受信はまだ始まっていません。" + retry +
                             "秒ごとに開始し直します。続くときは受信機を挿し直してください。";
            break;
    }
    return shown;
}

}  // namespace qv
