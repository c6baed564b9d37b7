// The banner's GIF, taken apart block by block: where each frame lies, how
// long it shows and how it is cleared, and each frame copied out as a GIF of
// its own that the system's picture loader can decode. The bytes come from a
// download, so every length read from them is checked against the data
// before it moves the read position, and nothing outside the data is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gif {

constexpr std::size_t kHeaderSize = 6;              // "GIF87a" or "GIF89a"
constexpr std::size_t kScreenDescriptorSize = 7;
constexpr std::size_t kFirstBlockAt = kHeaderSize + kScreenDescriptorSize;  // before the global colour table

constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::uint8_t kApplicationLabel = 0xFF;
constexpr std::uint8_t kCommentLabel = 0xFE;
constexpr std::uint8_t kGraphicControlLabel = 0xF9;
constexpr std::uint8_t kPlainTextLabel = 0x01;

// Each frame of an animation keeps a decoded bitmap for the life of the
// banner. A banner has a few dozen frames at most; a file claiming more is
// damaged or hostile, and its frames beyond the limit are not shown.
constexpr std::size_t kMaxFrames = 512;
// The banner file is read whole into memory and copied once more per frame.
// The built-in banner is 34 KB; a picture of several megabytes is no banner.
constexpr std::size_t kMaxPictureBytes = 4 * 1024 * 1024;

// A frame shows for delay x 10 ms; shorter delays than this are what the
// early browsers rounded up to 100 ms, and files rely on that.
constexpr int kMinDelay = 5;
constexpr int kShortDelayMs = 100;

}  // namespace gif

// The header and the logical screen descriptor.
struct GifScreen {
    int width = 0;
    int height = 0;
    std::size_t colorTableSize = 0;  // bytes of the global colour table; 0 when there is none
    std::size_t firstBlock = 0;      // where the blocks after the colour table begin
};

// One frame as ExtractFrame finds it.
struct GifFrame {
    std::size_t start = 0;  // its graphic control extension, or its body when it has none
    std::size_t body = 0;   // its image descriptor or plain text extension
    std::size_t end = 0;    // one past the body's last sub-block
    bool plainText = false;
    int left = 0, top = 0, width = 0, height = 0;
    int delay = -1;    // hundredths of a second; -1 without a graphic control extension
    int disposal = 0;  // 0 without a graphic control extension
};

// True for a GIF87a or GIF89a whose descriptor and global colour table fit
// in the data.
bool ReadGifScreen(const std::uint8_t* data, std::size_t size, GifScreen& out);

// The length of the block at `pos` as the walk skips it (1 for the trailer);
// 0 for an unknown block, the end of the data, or a block that runs past it:
// a block is only ever skipped whole.
std::size_t GifBlockLength(const std::uint8_t* data, std::size_t size, std::size_t pos);

// Moves `pos` past the next frame. False at the trailer, at an unknown block,
// at the end of the data or at a block that runs past it; `pos` is then left
// where the walk stopped.
bool SkipFrame(const std::uint8_t* data, std::size_t size, std::size_t& pos);

// Like SkipFrame, and describes the frame it passed. Position and size of a
// plain-text frame, which has no image descriptor, are the screen's.
bool ExtractFrame(const std::uint8_t* data, std::size_t size, const GifScreen& screen, std::size_t& pos,
                  GifFrame& out);

// The number of frames, counted with SkipFrame from the first block, up to
// gif::kMaxFrames.
std::size_t CountGifFrames(const std::uint8_t* data, std::size_t size, const GifScreen& screen);

// A stand-alone one-frame GIF: the header, the descriptor and the global
// colour table of the whole file, the frame's bytes, and the trailer. Its
// screen is the frame's own size and the image sits at its origin, so a
// decoder gives exactly the frame's pixels whatever it makes of offsets;
// the caller places it at the frame's position. Empty when the frame does
// not lie inside the data.
std::vector<std::uint8_t> MakeFrameGif(const std::uint8_t* data, std::size_t size, const GifScreen& screen,
                                       const GifFrame& frame);

// How long a frame stays, in milliseconds. A frame without a graphic control
// extension (delay -1) waits as long as a short delay does: taken as an
// unsigned number it would hold the animation for about 49 days.
int FrameWaitMilliseconds(int delay);
