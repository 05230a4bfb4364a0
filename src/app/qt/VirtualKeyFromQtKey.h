#pragma once
// Key capture records Windows virtual-key codes. Qt reports keys as Qt::Key
// values (the native fields are empty under some platforms), so the code is
// derived from the Qt key and the keypad flag. Printable keys map to the key
// that produces them on a US layout ("!" is the 1 key, ";" and ":" are 186).

#include <QtCore/qnamespace.h>

#include <cstdint>

namespace qv {

// The virtual-key code of a key event, or 0 when the key has none.
std::int16_t VirtualKeyFromQtKey(int qtKey, Qt::KeyboardModifiers modifiers);

}  // namespace qv
