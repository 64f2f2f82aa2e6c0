#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace zk {

// Video codecs by name, with their display names and four-character codec codes.
enum class AVFormat {
    hevc,
    h264,
    av1,
    vp9,
    appleProResRAWHQ,
    appleProResRAW,
    appleProRes4444XQ,
    appleProRes4444,
    appleProRes422HQ,
    appleProRes422,
    appleProRes422LT,
    appleProRes422Proxy,
    appleAnimation,
    hap1,
    hap5,
    hapY,
    hapM,
    hapA,
    hap7,
    cineFormHD,
    quickTimeGraphics,
    avidDNxHD,
};

inline constexpr std::array allAVFormats { AVFormat::hevc, AVFormat::h264, AVFormat::av1, AVFormat::vp9,
    AVFormat::appleProResRAWHQ, AVFormat::appleProResRAW, AVFormat::appleProRes4444XQ,
    AVFormat::appleProRes4444, AVFormat::appleProRes422HQ, AVFormat::appleProRes422,
    AVFormat::appleProRes422LT, AVFormat::appleProRes422Proxy, AVFormat::appleAnimation, AVFormat::hap1,
    AVFormat::hap5, AVFormat::hapY, AVFormat::hapM, AVFormat::hapA, AVFormat::hap7, AVFormat::cineFormHD,
    AVFormat::quickTimeGraphics, AVFormat::avidDNxHD };

// The case's name ("hevc"); a name is matched exactly, so display names and codes give nothing.
std::string_view rawValue(AVFormat format);
std::optional<AVFormat> avFormatFromRawValue(std::string_view text);
// "HEVC"
std::string_view description(AVFormat format);
// The four-character code as the codec registry spells it, blanks included ("rle ").
std::string_view codecCode(AVFormat format);
// "HEVC (hvc1)": the display name and the code without surrounding blanks.
std::string debugDescription(AVFormat format);

// The display name of a media type given by its text ("vide" → "Video"); "Unknown" for others.
std::string_view mediaTypeDescription(std::string_view mediaType);

} // namespace zk
