#pragma once
// Problems in a configuration file that the program silently works around: slots
// that can never fire, sections that are never read, values that were clamped or
// fell back to a default. Used by the quorvane-inicheck tool for hand-edited files.

#include <string>
#include <vector>

namespace qv {

class IniFile;
class RemoteTable;

struct ConfigProblem {
    int slot = 0;      // the slot concerned, 0 when the problem is not about one slot
    std::string text;  // one line of English for the user
};

// Checks `file`, whose remote table `table` was loaded from it (RemoteTable::Load).
std::vector<ConfigProblem> CheckConfig(const IniFile& file, const RemoteTable& table);

}  // namespace qv
