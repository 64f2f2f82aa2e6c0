#include "kit/foundation/MakeCSV.h"

#include "kit/foundation/core/GeneralError.h"
#include "kit/foundation/core/ReportError.h"

namespace zk {

namespace {

void appendQuoted(std::string& out, const std::string& field)
{
    out += '"';
    for (const char c : field) {
        if (c == '"') {
            out += '"';
        }
        out += c;
    }
    out += '"';
}

void appendLine(std::string& out, const std::vector<std::string>& fields)
{
    bool first = true;
    for (const auto& field : fields) {
        if (!first) {
            out += ',';
        }
        first = false;
        appendQuoted(out, field);
    }
}

} // namespace

std::string makeCSV(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows)
{
    std::string out;
    bool firstLine = true;
    const auto startLine = [&] {
        if (!firstLine) {
            out += '\n';
        }
        firstLine = false;
    };
    if (!header.empty()) {
        startLine();
        appendLine(out, header);
    }
    for (const auto& row : rows) {
        if (!header.empty() && row.size() != header.size()) {
            reportError(GeneralError(std::string("The header column count must match the row column count.")),
                ErrorUserInfo { { "headerColumnCount", static_cast<std::int64_t>(header.size()) },
                    { "rowColumnCount", static_cast<std::int64_t>(row.size()) } });
        }
        startLine();
        appendLine(out, row);
    }
    return out;
}

} // namespace zk
