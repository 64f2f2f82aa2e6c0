#pragma once

#include <optional>
#include <string>

namespace kiruvo {

// A result object handed to a script: an identifier, the text that names it, and an optional
// second line. Linux scripting has no image to show beside it, so none is kept.
class IntentObject {
public:
    // Result objects may be stored and read back by the callers that receive them.
    static constexpr bool supportsSecureCoding = true;

    IntentObject(std::optional<std::string> identifier, std::string displayString,
        std::optional<std::string> pronunciationHint = std::nullopt)
        : m_identifier(std::move(identifier))
        , m_displayString(std::move(displayString))
        , m_pronunciationHint(std::move(pronunciationHint))
    {
    }

    static IntentObject withSubtitle(std::optional<std::string> identifier, std::string displayString,
        std::optional<std::string> subtitleString)
    {
        IntentObject object(std::move(identifier), std::move(displayString));
        object.m_subtitleString = std::move(subtitleString);
        return object;
    }

    const std::optional<std::string>& identifier() const { return m_identifier; }
    const std::string& displayString() const { return m_displayString; }
    const std::optional<std::string>& subtitleString() const { return m_subtitleString; }
    const std::optional<std::string>& pronunciationHint() const { return m_pronunciationHint; }

    bool operator==(const IntentObject&) const = default;

private:
    std::optional<std::string> m_identifier;
    std::string m_displayString;
    std::optional<std::string> m_subtitleString;
    std::optional<std::string> m_pronunciationHint;
};

} // namespace kiruvo
