#include "kit/foundation/core/MediaFormat.h"

namespace zk {

namespace {

struct FormatInfo {
    AVFormat format;
    std::string_view name;
    std::string_view title;
    std::string_view code;
};

constexpr std::array<FormatInfo, allAVFormats.size()> formats { {
    { AVFormat::hevc, "hevc", "HEVC", "hvc1" },
    { AVFormat::h264, "h264", "H264", "avc1" },
    { AVFormat::av1, "av1", "AV1", "av01" },
    { AVFormat::vp9, "vp9", "VP9", "vp09" },
    { AVFormat::appleProResRAWHQ, "appleProResRAWHQ", "Apple ProRes RAW HQ", "aprh" },
    { AVFormat::appleProResRAW, "appleProResRAW", "Apple ProRes RAW", "aprn" },
    { AVFormat::appleProRes4444XQ, "appleProRes4444XQ", "Apple ProRes 4444 XQ", "ap4x" },
    { AVFormat::appleProRes4444, "appleProRes4444", "Apple ProRes 4444", "ap4h" },
    { AVFormat::appleProRes422HQ, "appleProRes422HQ", "Apple ProRes 422 HQ", "apch" },
    { AVFormat::appleProRes422, "appleProRes422", "Apple ProRes 422", "apcn" },
    { AVFormat::appleProRes422LT, "appleProRes422LT", "Apple ProRes 422 LT", "apcs" },
    { AVFormat::appleProRes422Proxy, "appleProRes422Proxy", "Apple ProRes 422 Proxy", "apco" },
    { AVFormat::appleAnimation, "appleAnimation", "Apple Animation", "rle " },
    { AVFormat::hap1, "hap1", "Vidvox Hap", "Hap1" },
    { AVFormat::hap5, "hap5", "Vidvox Hap Alpha", "Hap5" },
    { AVFormat::hapY, "hapY", "Vidvox Hap Q", "HapY" },
    { AVFormat::hapM, "hapM", "Vidvox Hap Q Alpha", "HapM" },
    { AVFormat::hapA, "hapA", "Vidvox Hap Alpha-Only", "HapA" },
    { AVFormat::hap7, "hap7", "Vidvox Hap", "Hap7" },
    { AVFormat::cineFormHD, "cineFormHD", "CineForm HD", "CFHD" },
    { AVFormat::quickTimeGraphics, "quickTimeGraphics", "QuickTime Graphics", "smc " },
    { AVFormat::avidDNxHD, "avidDNxHD", "Avid DNxHD", "AVdh" },
} };

const FormatInfo& info(AVFormat format)
{
    for (const auto& entry : formats) {
        if (entry.format == format) {
            return entry;
        }
    }
    return formats.front();
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\n')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

std::string_view rawValue(AVFormat format)
{
    return info(format).name;
}

std::optional<AVFormat> avFormatFromRawValue(std::string_view text)
{
    for (const auto& entry : formats) {
        if (entry.name == text) {
            return entry.format;
        }
    }
    return std::nullopt;
}

std::string_view description(AVFormat format)
{
    return info(format).title;
}

std::string_view codecCode(AVFormat format)
{
    return info(format).code;
}

std::string debugDescription(AVFormat format)
{
    return std::string(description(format)) + " (" + std::string(trimmed(codecCode(format))) + ")";
}

std::string_view mediaTypeDescription(std::string_view mediaType)
{
    // The media types by the four-character texts their registry gives them.
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 9> names { {
        { "soun", "Audio" },
        { "clcp", "Closed-caption content" },
        { "dpth", "Depth data" },
        { "meta", "Metadata" },
        { "muxx", "Muxed media" },
        { "sbtl", "Subtitle" },
        { "text", "Text" },
        { "tmcd", "Time code" },
        { "vide", "Video" },
    } };
    for (const auto& [type, name] : names) {
        if (type == mediaType) {
            return name;
        }
    }
    return "Unknown";
}

} // namespace zk
