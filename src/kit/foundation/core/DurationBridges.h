#pragma once

#include "kit/foundation/core/DispatchTimeInterval.h"
#include "kit/foundation/core/Duration.h"

#include <QTimer>

#include <functional>
#include <memory>

namespace zk {

// The nanoseconds case, truncated toward zero. A length that is not finite or does not fit 64 bits
// of nanoseconds (about ±292 years) is reported as std::overflow_error.
DispatchTimeInterval toDispatchTimeInterval(Duration duration);
// Never is an infinite length.
Duration durationFrom(const DispatchTimeInterval& interval);

// A timer of this interval, made but not started, running `block` at each firing; one that does
// not repeat fires once. Lengths below zero or past what QTimer counts are clamped to its range.
std::unique_ptr<QTimer> makeTimer(Duration interval, bool repeats, std::function<void()> block);

} // namespace zk
