#include "kit/foundation/core/KitUtilities.h"

#include "kit/foundation/core/Regex.h"

namespace zk {

bool isEmailAddress(std::string_view text)
{
    // A local part of letters, digits and the usual punctuation (dots only between characters),
    // then a host of dot-separated labels that ends in a top-level domain of letters. Letters of
    // every script are accepted, as mail systems accept internationalised addresses.
    static const Regex address
        = Regex::literal("[\\p{L}\\p{N}!#$%&'*+/=?^_`{|}~-]+(?:\\.[\\p{L}\\p{N}!#$%&'*+/=?^_`{|}~-]+)*"
                         "@(?:[\\p{L}\\p{N}](?:[\\p{L}\\p{N}-]*[\\p{L}\\p{N}])?\\.)+\\p{L}{2,}");
    const auto match = address.firstMatchResult(text);
    if (!match) {
        return false;
    }
    const Utf16Range range = match->range();
    return range.location == 0 && range.length == match->text().length();
}

} // namespace zk
