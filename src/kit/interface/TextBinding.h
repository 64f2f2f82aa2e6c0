#pragma once

#include <QString>

#include <functional>

namespace zk {

// A text kept elsewhere that a field shows and writes: `get` reads it, `set` stores what was typed.
struct TextBinding {
    std::function<QString()> get;
    std::function<void(const QString&)> set;
};

} // namespace zk
