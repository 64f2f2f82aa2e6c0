#include "app/reminders/HeartMotion.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kiruvo {

namespace {

// The spring's natural and damped angular frequencies and its decay rate.
struct SpringShape {
    double decay;
    double damped;
};

SpringShape springShape()
{
    const double natural = 2 * std::numbers::pi / HeartMotion::springResponse;
    const double damping = HeartMotion::springDamping;
    return { damping * natural, natural * std::sqrt(1 - damping * damping) };
}

double elapsedSince(double start, double now)
{
    return std::isfinite(now) ? std::max(0.0, now - start) : 0.0;
}

} // namespace

HeartMotion HeartMotion::linear(double from, double to, double start, double duration)
{
    return { from, to, start, std::isfinite(duration) ? std::max(0.0, duration) : 0.0, Curve::linear, 0 };
}

HeartMotion HeartMotion::spring(double from, double to, double start, double initialVelocity)
{
    return { from, to, start, 0, Curve::spring, std::isfinite(initialVelocity) ? initialVelocity : 0 };
}

double HeartMotion::value(double now) const
{
    const double t = elapsedSince(start, now);
    if (curve == Curve::linear) {
        if (duration <= 0 || t >= duration) {
            return to;
        }
        return from + (to - from) * (t / duration);
    }
    // An underdamped spring released at `from` with the initial velocity.
    const auto [decay, damped] = springShape();
    const double offset = from - to;
    const double sine = (initialVelocity + decay * offset) / damped;
    return to + std::exp(-decay * t) * (offset * std::cos(damped * t) + sine * std::sin(damped * t));
}

double HeartMotion::velocity(double now) const
{
    const double t = elapsedSince(start, now);
    if (curve == Curve::linear) {
        return duration > 0 && t < duration ? (to - from) / duration : 0.0;
    }
    const auto [decay, damped] = springShape();
    const double offset = from - to;
    const double sine = (initialVelocity + decay * offset) / damped;
    const double envelope = std::exp(-decay * t);
    return envelope
        * ((sine * damped - decay * offset) * std::cos(damped * t)
            - (offset * damped + decay * sine) * std::sin(damped * t));
}

bool HeartMotion::isAtRest(double now, double tolerance) const
{
    const double t = elapsedSince(start, now);
    if (curve == Curve::linear) {
        return duration <= 0 || t >= duration;
    }
    // The swing's amplitude bounds every later distance from the target.
    const auto [decay, damped] = springShape();
    const double offset = from - to;
    const double sine = (initialVelocity + decay * offset) / damped;
    return std::exp(-decay * t) * std::hypot(offset, sine) <= tolerance;
}

} // namespace kiruvo
