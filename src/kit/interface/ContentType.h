#pragma once

#include <string>

namespace zk {

// The kind of a file's contents, as a save dialog offers it: its MIME type, the file name
// extension it takes and its name for the type filter.
struct ContentType {
    std::string mimeType;
    std::string preferredFilenameExtension;
    std::string description;

    static ContentType commaSeparatedText();
    static ContentType json();
    static ContentType plainText();

    // "CSV document (*.csv)"
    std::string nameFilter() const;

    bool operator==(const ContentType&) const = default;
};

} // namespace zk
