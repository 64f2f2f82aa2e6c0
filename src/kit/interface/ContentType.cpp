#include "kit/interface/ContentType.h"

namespace zk {

ContentType ContentType::commaSeparatedText()
{
    return { "text/csv", "csv", "CSV document" };
}

ContentType ContentType::json()
{
    return { "application/json", "json", "JSON document" };
}

ContentType ContentType::plainText()
{
    return { "text/plain", "txt", "Plain text document" };
}

std::string ContentType::nameFilter() const
{
    return description + " (*." + preferredFilenameExtension + ")";
}

} // namespace zk
