#pragma once

#include <string>
#include <vector>

namespace zk {

// Comma-separated text of a table: every field in double quotes (a double quote inside doubled),
// fields joined by ",", lines by a single "\n", no line end after the last line and no byte-order
// mark. The header, when not empty, is the first line. A row whose field count differs from a
// non-empty header's is reported and written all the same. Never fails.
std::string makeCSV(
    const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows);

} // namespace zk
