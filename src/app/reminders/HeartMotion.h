#pragma once

namespace kiruvo {

// One movement of the heart's scale from one value to another, started at a moment of a clock:
// either a straight line over a fixed time, or a damped spring that swings past its target and
// settles. A pure description: it answers where the scale is and how fast it moves at any moment,
// and when it has come to rest.
struct HeartMotion {
    enum class Curve { linear, spring };

    // The spring's feel: the time of one undamped swing (seconds) and the share of the critical
    // damping, as for a relaxed, slightly bouncing heart.
    static constexpr double springResponse = 0.8;
    static constexpr double springDamping = 0.6;

    double from = 1;
    double to = 1;
    // Clock time (seconds) at which the motion starts.
    double start = 0;
    // Seconds a linear motion takes; a spring takes as long as it needs.
    double duration = 0;
    Curve curve = Curve::linear;
    // Scale units a second at the start (a spring carries on a movement that was still going).
    double initialVelocity = 0;

    static HeartMotion linear(double from, double to, double start, double duration);
    static HeartMotion spring(double from, double to, double start, double initialVelocity = 0);

    // The scale at clock time `now` (`from` before the start).
    double value(double now) const;
    // Scale units a second at `now`.
    double velocity(double now) const;
    // True once the motion can no longer stray more than `tolerance` from its target: a line at
    // its end, a spring once its whole remaining swing lies within the tolerance.
    bool isAtRest(double now, double tolerance) const;
    // The clock time by which a linear motion has ended (the start for a spring, which has no end).
    double end() const { return curve == Curve::linear ? start + duration : start; }
};

} // namespace kiruvo
