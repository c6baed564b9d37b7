#include "ui/GifBlocks.h"

#include "sys/Bytes.h"

namespace {

enum class BlockKind { Application, Comment, GraphicControl, PlainText, Image, Trailer, Unknown };

// Fixed parts of the extensions before their sub-block chains: introducer,
// label, block size and the block itself.
constexpr std::size_t kApplicationFixed = 14;
constexpr std::size_t kCommentFixed = 2;
constexpr std::size_t kGraphicControlSize = 8;
constexpr std::size_t kPlainTextFixed = 15;
// The image descriptor: separator, four 16-bit numbers and the packed byte;
// the LZW code size byte follows its local colour table.
constexpr std::size_t kImageDescriptorSize = 10;
constexpr std::size_t kPackedByteAt = 9;

// 3 x 2^(n+1) bytes when bit 7 of `packed` says a colour table follows.
std::size_t ColorTableSize(std::uint8_t packed) {
    return (packed & 0x80) ? std::size_t{3} << ((packed & 0x07) + 1) : 0;
}

BlockKind KindAt(const CByteReader& bytes, std::size_t pos) {
    if (!bytes.Has(pos, 1)) return BlockKind::Unknown;
    switch (bytes.U8(pos)) {
        case gif::kImageSeparator:
            return BlockKind::Image;
        case gif::kTrailer:
            return BlockKind::Trailer;
        case gif::kExtensionIntroducer:
            if (!bytes.Has(pos, 2)) return BlockKind::Unknown;
            switch (bytes.U8(pos + 1)) {
                case gif::kApplicationLabel:
                    return BlockKind::Application;
                case gif::kCommentLabel:
                    return BlockKind::Comment;
                case gif::kGraphicControlLabel:
                    return BlockKind::GraphicControl;
                case gif::kPlainTextLabel:
                    return BlockKind::PlainText;
                default:
                    return BlockKind::Unknown;
            }
        default:
            return BlockKind::Unknown;
    }
}

// The length of the sub-block chain at `pos`, its zero terminator included;
// 0 when a sub-block or the terminator lies past the end of the data.
std::size_t ChainLength(const CByteReader& bytes, std::size_t pos) {
    std::size_t p = pos;
    while (bytes.Has(p, 1)) {
        const std::size_t n = bytes.U8(p);
        if (n == 0) return p + 1 - pos;
        if (!bytes.Has(p + 1, n)) return 0;
        p += 1 + n;
    }
    return 0;
}

// A fixed part followed by a chain; 0 when either does not fit.
std::size_t WithChain(const CByteReader& bytes, std::size_t pos, std::size_t fixed) {
    if (!bytes.Has(pos, fixed)) return 0;
    const std::size_t chain = ChainLength(bytes, pos + fixed);
    return chain == 0 ? 0 : fixed + chain;
}

std::size_t BlockLength(const CByteReader& bytes, std::size_t pos, BlockKind kind) {
    switch (kind) {
        case BlockKind::Application:
            return WithChain(bytes, pos, kApplicationFixed);
        case BlockKind::Comment:
            return WithChain(bytes, pos, kCommentFixed);
        case BlockKind::GraphicControl:
            return bytes.Has(pos, kGraphicControlSize) ? kGraphicControlSize : 0;
        case BlockKind::PlainText:
            return WithChain(bytes, pos, kPlainTextFixed);
        case BlockKind::Image: {
            if (!bytes.Has(pos, kImageDescriptorSize)) return 0;
            const std::size_t fixed =
                kImageDescriptorSize + ColorTableSize(bytes.U8(pos + kPackedByteAt)) + 1;  // + LZW code size
            return WithChain(bytes, pos, fixed);
        }
        case BlockKind::Trailer:
            return 1;
        case BlockKind::Unknown:
            break;
    }
    return 0;
}

// Moves `pos` past the block of `kind` there; false when it does not fit.
bool SkipBlock(const CByteReader& bytes, std::size_t& pos, BlockKind kind) {
    const std::size_t length = BlockLength(bytes, pos, kind);
    if (length == 0) return false;
    pos += length;
    return true;
}

bool IsBody(BlockKind kind) { return kind == BlockKind::Image || kind == BlockKind::PlainText; }

// The walk both SkipFrame and ExtractFrame make: optional application and
// comment extensions, an optional graphic control extension with any
// extensions after it, and the body. `gce` and `body` are where those start
// (gce == npos without one); `pos` ends past the body.
bool WalkFrame(const CByteReader& bytes, std::size_t& pos, std::size_t& gce, std::size_t& body) {
    gce = static_cast<std::size_t>(-1);
    BlockKind kind = KindAt(bytes, pos);
    while (kind == BlockKind::Application || kind == BlockKind::Comment) {
        if (!SkipBlock(bytes, pos, kind)) return false;
        kind = KindAt(bytes, pos);
    }
    if (kind == BlockKind::Trailer || kind == BlockKind::Unknown) return false;
    if (kind == BlockKind::GraphicControl) {
        gce = pos;
        if (!SkipBlock(bytes, pos, kind)) return false;
        // Whatever extensions stand between it and the body, a further
        // graphic control extension too, belong to the frame.
        for (kind = KindAt(bytes, pos); !IsBody(kind); kind = KindAt(bytes, pos)) {
            if (kind == BlockKind::Trailer || kind == BlockKind::Unknown) return false;
            if (!SkipBlock(bytes, pos, kind)) return false;
        }
    }
    body = pos;
    return SkipBlock(bytes, pos, kind);
}

}  // namespace

bool ReadGifScreen(const std::uint8_t* data, std::size_t size, GifScreen& out) {
    const CByteReader bytes(data, size);
    if (!bytes.Has(0, gif::kFirstBlockAt)) return false;
    if (bytes.U8(0) != 'G' || bytes.U8(1) != 'I' || bytes.U8(2) != 'F' || bytes.U8(3) != '8' ||
        (bytes.U8(4) != '7' && bytes.U8(4) != '9') || bytes.U8(5) != 'a') {
        return false;
    }
    GifScreen screen;
    screen.width = bytes.U16(6);
    screen.height = bytes.U16(8);
    screen.colorTableSize = ColorTableSize(bytes.U8(10));
    screen.firstBlock = gif::kFirstBlockAt + screen.colorTableSize;
    if (!bytes.Has(0, screen.firstBlock)) return false;
    out = screen;
    return true;
}

std::size_t GifBlockLength(const std::uint8_t* data, std::size_t size, std::size_t pos) {
    const CByteReader bytes(data, size);
    return BlockLength(bytes, pos, KindAt(bytes, pos));
}

bool SkipFrame(const std::uint8_t* data, std::size_t size, std::size_t& pos) {
    std::size_t gce = 0, body = 0;
    return WalkFrame(CByteReader(data, size), pos, gce, body);
}

bool ExtractFrame(const std::uint8_t* data, std::size_t size, const GifScreen& screen, std::size_t& pos,
                  GifFrame& out) {
    const CByteReader bytes(data, size);
    std::size_t gce = 0, body = 0;
    if (!WalkFrame(bytes, pos, gce, body)) return false;
    GifFrame frame;
    const bool hasControl = gce != static_cast<std::size_t>(-1);
    frame.start = hasControl ? gce : body;
    frame.body = body;
    frame.end = pos;
    if (hasControl) {
        frame.disposal = (bytes.U8(gce + 3) >> 2) & 0x07;
        frame.delay = bytes.U16(gce + 4);
    }
    frame.plainText = KindAt(bytes, body) == BlockKind::PlainText;
    if (frame.plainText) {
        frame.width = screen.width;
        frame.height = screen.height;
    } else {
        frame.left = bytes.U16(body + 1);
        frame.top = bytes.U16(body + 3);
        frame.width = bytes.U16(body + 5);
        frame.height = bytes.U16(body + 7);
    }
    out = frame;
    return true;
}

std::size_t CountGifFrames(const std::uint8_t* data, std::size_t size, const GifScreen& screen) {
    std::size_t pos = screen.firstBlock;
    std::size_t frames = 0;
    while (frames < gif::kMaxFrames && SkipFrame(data, size, pos)) ++frames;
    return frames;
}

std::vector<std::uint8_t> MakeFrameGif(const std::uint8_t* data, std::size_t size, const GifScreen& screen,
                                       const GifFrame& frame) {
    if (frame.start > frame.body || frame.body >= frame.end || !Fits(size, frame.start, frame.end - frame.start) ||
        !Fits(size, 0, screen.firstBlock) || screen.firstBlock > frame.start) {
        return {};
    }
    std::vector<std::uint8_t> out;
    out.reserve(screen.firstBlock + (frame.end - frame.start) + 1);
    out.insert(out.end(), data, data + screen.firstBlock);
    out.insert(out.end(), data + frame.start, data + frame.end);
    out.push_back(gif::kTrailer);
    if (!frame.plainText) {
        const std::size_t descriptor = screen.firstBlock + (frame.body - frame.start);
        auto put16 = [&out](std::size_t at, int value) {
            out[at] = static_cast<std::uint8_t>(value & 0xFF);
            out[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
        };
        put16(6, frame.width);
        put16(8, frame.height);
        put16(descriptor + 1, 0);
        put16(descriptor + 3, 0);
    }
    return out;
}

int FrameWaitMilliseconds(int delay) { return delay < gif::kMinDelay ? gif::kShortDelayMs : delay * 10; }
