#pragma once

#include "kit/interface/ContentType.h"

#include <QByteArray>

#include <optional>
#include <string>

namespace zk {

// Bytes to be saved where the user chooses: already encoded, with their type (which gives the file
// its extension) and the name proposed for the file, without its extension (none lets the save
// dialog choose).
struct ExportFile {
    QByteArray data;
    ContentType contentType;
    std::optional<std::string> defaultFilename;

    bool operator==(const ExportFile&) const = default;
};

} // namespace zk
