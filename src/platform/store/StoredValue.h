#pragma once

#include "platform/store/PropertyList.h"

#include <functional>
#include <memory>
#include <optional>

namespace platform {

// A value as the settings store holds it: shared with the store rather than copied (a long history
// is megabytes), null for nothing stored.
using StoredValue = std::shared_ptr<const PropertyList>;

// Joins a stored value with one written without it at hand (`base` null), or over `base` when
// another program has written the key since; nothing when they do not join (a value written blind
// then copies the stored row aside before it replaces it; one written over a base leaves the other
// program's value in place). Called under the store's lock: it must not use the store.
using StoredValueJoin = std::function<std::optional<PropertyList>(
    const PropertyList& stored, const PropertyList& written, const PropertyList* base)>;

} // namespace platform
