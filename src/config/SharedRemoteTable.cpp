#include "config/SharedRemoteTable.h"

namespace qv {

int SharedRemoteTable::Load(const IniFile& file) {
    const std::lock_guard guard(lock_);
    return table_.Load(file);
}

bool SharedRemoteTable::Store(int n, const RemoteEntry& entry) {
    const std::lock_guard guard(lock_);
    return table_.Store(n, entry);
}

std::optional<MatchedSlot> SharedRemoteTable::Match(std::uint8_t v0, std::uint8_t v1,
                                                    std::uint8_t v2) const {
    const std::lock_guard guard(lock_);
    const int n = table_.Match(v0, v1, v2);
    if (n == 0) {
        return std::nullopt;
    }
    return MatchedSlot{n, table_[n]};
}

int SharedRemoteTable::UpperIndex() const {
    const std::lock_guard guard(lock_);
    return table_.UpperIndex();
}

RemoteEntry SharedRemoteTable::Entry(int n) const {
    const std::lock_guard guard(lock_);
    if (n < 0 || n > table_.UpperIndex()) {
        return {};
    }
    return table_[n];
}

}  // namespace qv
