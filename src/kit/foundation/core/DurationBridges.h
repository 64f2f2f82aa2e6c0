#pragma once

#include "kit/foundation/core/DispatchTimeInterval.h"
#include "kit/foundation/core/Duration.h"

#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

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

// A request for `url` that gives up when a transfer stalls for `timeout` (Qt's transfer time-out,
// whole milliseconds, a positive length never below one) and loads as `cachePolicy` says. Qt
// cannot expire a request at once: a length at or below zero, or not a number, means no time-out.
QNetworkRequest makeURLRequest(const QUrl& url, Duration timeout,
    QNetworkRequest::CacheLoadControl cachePolicy = QNetworkRequest::PreferNetwork);
// The transfer time-out of a request as a length; zero when it has none.
Duration timeoutInterval(const QNetworkRequest& request);

} // namespace zk
