#include "kit/foundation/core/FeedbackLink.h"

#include "kit/foundation/core/URLQueryItem.h"

#include <utility>
#include <vector>

namespace zk {

std::string feedbackPageURL(std::string_view productName, std::string_view metadata,
    const std::optional<std::string>& message, const std::optional<std::string>& extraInfo)
{
    std::vector<std::pair<std::string_view, std::string_view>> values {
        { "product", productName },
        { "metadata", metadata },
    };
    if (message) {
        values.emplace_back("messageField", *message);
    }
    if (extraInfo) {
        values.emplace_back("extraInfo", *extraInfo);
    }
    return std::string(feedbackPageAddress) + "?" + queryString(toURLQueryItems(values));
}

} // namespace zk
