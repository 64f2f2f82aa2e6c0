#pragma once

#include <exception>
#include <utility>

namespace platform::combine {

// How a publisher ended: normally, or with an error.
struct Completion {
    std::exception_ptr error; // empty when finished normally

    static Completion finished() { return {}; }
    static Completion failure(std::exception_ptr error) { return Completion { std::move(error) }; }
    bool isFinished() const { return !error; }
};

// The output of publishers that announce that something happened without a value.
struct Void {
    friend bool operator==(Void, Void) { return true; }
};

} // namespace platform::combine
