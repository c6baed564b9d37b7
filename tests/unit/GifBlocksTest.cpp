// The banner's GIF walker over GIFs built block by block: well-formed files
// with extensions in every position, and damaged ones. Every input lives in a
// buffer of exactly its size, so a read past its end is caught by the
// sanitizer build.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "ui/GifBlocks.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A GIF written block by block; each call appends one block.
class CGif {
public:
    // Header and logical screen descriptor; `tableBits` n gives a global
    // colour table of 3 x 2^(n+1) bytes, -1 none.
    CGif& Screen(int width, int height, int tableBits = 1) {
        Text("GIF89a");                                   // signature and version
        U16(width);                                       // logical screen width
        U16(height);                                      // logical screen height
        U8(tableBits < 0 ? 0 : 0x80 | tableBits);         // packed: global table flag and size
        U8(0);                                            // background colour index
        U8(0);                                            // pixel aspect ratio
        if (tableBits >= 0) Fill(3u << (tableBits + 1));  // the global colour table
        return *this;
    }
    CGif& Application() {
        U8(0x21);                    // extension introducer
        U8(0xFF);                    // application extension label
        U8(11);                      // block size
        Text("NETSCAPE2.0");         // identifier and authentication code
        U8(3), U8(1), U16(0), U8(0);  // loop sub-block, then the terminator
        return *this;
    }
    CGif& Comment(const std::string& text) {
        U8(0x21);  // extension introducer
        U8(0xFE);  // comment label
        U8(static_cast<int>(text.size()));
        Text(text);  // one sub-block
        U8(0);       // terminator
        return *this;
    }
    CGif& Control(int delay, int disposal) {
        U8(0x21);           // extension introducer
        U8(0xF9);           // graphic control label
        U8(4);              // block size
        U8(disposal << 2);  // packed: disposal method in bits 2-4
        U16(delay);         // delay in hundredths of a second
        U8(0);              // transparent colour index
        U8(0);              // terminator
        return *this;
    }
    // An image descriptor with its data: `tableBits` for a local colour
    // table as above, and one sub-block of `dataLength` bytes (none for 0).
    CGif& Image(int left, int top, int width, int height, int tableBits = -1, int dataLength = 3) {
        U8(0x2C);                                         // image separator
        U16(left), U16(top), U16(width), U16(height);     // position and size
        U8(tableBits < 0 ? 0 : 0x80 | tableBits);         // packed: local table flag and size
        if (tableBits >= 0) Fill(3u << (tableBits + 1));  // the local colour table
        U8(2);                                            // LZW minimum code size
        if (dataLength > 0) {
            U8(dataLength);  // one sub-block of image data
            Fill(static_cast<unsigned>(dataLength));
        }
        U8(0);  // terminator
        return *this;
    }
    CGif& PlainText() {
        U8(0x21);  // extension introducer
        U8(0x01);  // plain text label
        U8(12);    // block size
        Fill(12);  // grid position and size, cell size, colours
        U8(2);     // one sub-block of text
        Text("hi");
        U8(0);  // terminator
        return *this;
    }
    CGif& Trailer() { return U8(0x3B); }
    CGif& U8(int v) {
        m_bytes.push_back(static_cast<std::uint8_t>(v));
        return *this;
    }
    CGif& U16(int v) { return U8(v & 0xFF).U8((v >> 8) & 0xFF); }
    CGif& Text(const std::string& s) {
        m_bytes.insert(m_bytes.end(), s.begin(), s.end());
        return *this;
    }
    CGif& Fill(unsigned n) {
        m_bytes.insert(m_bytes.end(), n, 0x11);
        return *this;
    }
    const Bytes& bytes() const { return m_bytes; }

private:
    Bytes m_bytes;
};

struct SFrame {
    int left, top, width, height, delay, disposal;
    bool plainText;
};

bool operator==(const SFrame& a, const SFrame& b) {
    return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height && a.delay == b.delay &&
           a.disposal == b.disposal && a.plainText == b.plainText;
}

std::ostream& operator<<(std::ostream& os, const SFrame& f) {
    return os << "{" << f.left << "," << f.top << " " << f.width << "x" << f.height << " delay " << f.delay
              << " disposal " << f.disposal << (f.plainText ? " text" : "") << "}";
}

// Every frame the walker finds, checking on the way that each one lies in
// the data and that its stand-alone copy is a one-frame GIF of its own size.
std::vector<SFrame> WalkFrames(const Bytes& data) {
    std::vector<SFrame> frames;
    GifScreen screen;
    if (!ReadGifScreen(data.data(), data.size(), screen)) return frames;
    std::size_t pos = screen.firstBlock;
    GifFrame frame;
    for (std::size_t previousEnd = pos; ExtractFrame(data.data(), data.size(), screen, pos, frame);
         previousEnd = frame.end) {
        // Application and comment extensions before a frame are passed over.
        EXPECT_GE(frame.start, previousEnd);
        EXPECT_LE(frame.start, frame.body);
        EXPECT_LT(frame.body, frame.end);
        EXPECT_LE(frame.end, data.size());
        EXPECT_EQ(pos, frame.end);

        const Bytes copy = MakeFrameGif(data.data(), data.size(), screen, frame);
        EXPECT_EQ(copy.size(), screen.firstBlock + (frame.end - frame.start) + 1);
        GifScreen own;
        EXPECT_TRUE(ReadGifScreen(copy.data(), copy.size(), own));
        EXPECT_EQ(CountGifFrames(copy.data(), copy.size(), own), 1u);
        std::size_t ownPos = own.firstBlock;
        GifFrame inCopy;
        EXPECT_TRUE(ExtractFrame(copy.data(), copy.size(), own, ownPos, inCopy));
        EXPECT_EQ(copy.back(), 0x3B);
        if (!frame.plainText) {
            EXPECT_EQ(own.width, frame.width);
            EXPECT_EQ(own.height, frame.height);
            EXPECT_EQ(inCopy.left, 0);
            EXPECT_EQ(inCopy.top, 0);
        }
        EXPECT_EQ(inCopy.delay, frame.delay);
        EXPECT_EQ(inCopy.disposal, frame.disposal);

        frames.push_back({frame.left, frame.top, frame.width, frame.height, frame.delay, frame.disposal,
                          frame.plainText});
    }
    EXPECT_EQ(frames.size(), CountGifFrames(data.data(), data.size(), screen));
    return frames;
}

struct SWalkCase {
    std::string name;
    Bytes gif;
    std::vector<SFrame> frames;
};

void PrintTo(const SWalkCase& c, std::ostream* os) { *os << c.name; }

std::vector<SWalkCase> WellFormed() {
    return {
        {"OneFrameNoControl", CGif().Screen(40, 30).Image(0, 0, 40, 30).Trailer().bytes(),
         {{0, 0, 40, 30, -1, 0, false}}},
        {"NoGlobalColourTable", CGif().Screen(8, 8, -1).Image(1, 2, 3, 4, 0).Trailer().bytes(),
         {{1, 2, 3, 4, -1, 0, false}}},
        {"SeveralFramesWithDelaysAndDisposals",
         CGif()
             .Screen(464, 63, 7)
             .Application()
             .Control(250, 1)
             .Image(0, 0, 464, 63)
             .Control(6, 2)
             .Image(10, 5, 45, 40)
             .Control(0, 3)
             .Image(300, 20, 1, 1)
             .Trailer()
             .bytes(),
         {{0, 0, 464, 63, 250, 1, false}, {10, 5, 45, 40, 6, 2, false}, {300, 20, 1, 1, 0, 3, false}}},
        {"ExtensionsInEveryPosition",
         CGif()
             .Screen(20, 10)
             .Comment("before all")
             .Application()
             .Control(7, 2)
             .Comment("between control and image")
             .Application()
             .Image(0, 0, 20, 10)
             .Comment("between frames")
             .Image(2, 2, 4, 4)
             .Comment("before the trailer")
             .Trailer()
             .bytes(),
         {{0, 0, 20, 10, 7, 2, false}, {2, 2, 4, 4, -1, 0, false}}},
        {"SecondControlBeforeTheImageBelongsToTheFrame",
         CGif().Screen(5, 5).Control(9, 1).Control(30, 3).Image(0, 0, 5, 5).Trailer().bytes(),
         {{0, 0, 5, 5, 9, 1, false}}},
        {"LocalColourTablesOfEverySize",
         CGif()
             .Screen(16, 16)
             .Image(0, 0, 16, 16, 0)
             .Image(0, 0, 8, 8, 3)
             .Control(12, 0)
             .Image(4, 4, 2, 2, 7)
             .Trailer()
             .bytes(),
         {{0, 0, 16, 16, -1, 0, false}, {0, 0, 8, 8, -1, 0, false}, {4, 4, 2, 2, 12, 0, false}}},
        {"PlainTextFrameTakesTheScreen",
         CGif().Screen(30, 12).Control(20, 2).PlainText().Image(1, 1, 2, 2).Trailer().bytes(),
         {{0, 0, 30, 12, 20, 2, true}, {1, 1, 2, 2, -1, 0, false}}},
        {"EmptyImageDataIsStillAFrame", CGif().Screen(4, 4).Image(0, 0, 4, 4, -1, 0).Trailer().bytes(),
         {{0, 0, 4, 4, -1, 0, false}}},
        {"NoTrailer", CGif().Screen(4, 4).Image(0, 0, 4, 4).Image(1, 1, 1, 1).bytes(),
         {{0, 0, 4, 4, -1, 0, false}, {1, 1, 1, 1, -1, 0, false}}},
    };
}

class GifWalk : public testing::TestWithParam<SWalkCase> {};

TEST_P(GifWalk, FindsEveryFrameWithItsPlaceAndTiming) { EXPECT_EQ(WalkFrames(GetParam().gif), GetParam().frames); }

INSTANTIATE_TEST_SUITE_P(WellFormed, GifWalk, testing::ValuesIn(WellFormed()),
                         [](const testing::TestParamInfo<SWalkCase>& info) { return info.param.name; });

// Damaged files: the walk keeps the frames before the damage and stops there.
std::vector<SWalkCase> Damaged() {
    const CGif good = CGif().Screen(10, 10).Control(5, 1).Image(0, 0, 10, 10);
    auto after = [&good](const Bytes& tail) {
        Bytes b = good.bytes();
        b.insert(b.end(), tail.begin(), tail.end());
        return b;
    };
    const SFrame first{0, 0, 10, 10, 5, 1, false};
    return {
        // A sub-block that says 200 bytes follow where five do.
        {"SubBlockRunsPastTheEnd", after({0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 200, 1, 2, 3, 4, 5}), {first}},
        {"ChainWithoutTerminator", after({0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 7, 7}), {first}},
        {"CommentChainRunsPastTheEnd", after({0x21, 0xFE, 9, 'a', 'b'}), {first}},
        {"UnknownExtension", after({0x21, 0x02, 1, 0, 0, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 0}), {first}},
        {"UnknownByteBetweenFrames", after({0x00, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 0, 0x3B}), {first}},
        {"ControlThenTrailer", after({0x21, 0xF9, 4, 0, 10, 0, 0, 0, 0x3B}), {first}},
        {"ControlCutShort", after({0x21, 0xF9, 4, 0, 10}), {first}},
        {"ImageDescriptorCutShort", after({0x2C, 0, 0, 0, 0, 1}), {first}},
        // A local table of 768 bytes announced, a few present.
        {"LocalColourTablePastTheEnd", after({0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x87, 1, 2, 3}), {first}},
        {"ApplicationExtensionCutShort", after({0x21, 0xFF, 11, 'N', 'E'}), {first}},
        {"IntroducerAtTheVeryEnd", after({0x21}), {first}},
        {"NothingAfterTheScreen", CGif().Screen(4, 4).bytes(), {}},
        {"GlobalColourTableLongerThanTheFile", CGif().U8('G').Text("IF89a").U16(1).U16(1).U8(0x87).U16(0).bytes(),
         {}},
        {"NotAGif", CGif().Text("\x89PNG\r\n\x1a\n....").bytes(), {}},
        {"UnknownVersion", CGif().Text("GIF88a").U16(1).U16(1).U8(0).U16(0).Image(0, 0, 1, 1).bytes(), {}},
        {"Empty", {}, {}},
    };
}

INSTANTIATE_TEST_SUITE_P(Damaged, GifWalk, testing::ValuesIn(Damaged()),
                         [](const testing::TestParamInfo<SWalkCase>& info) { return info.param.name; });

// A file with every kind of block, cut at every length: the frames found
// never lie beyond the cut, and a longer file never shows fewer frames.
TEST(GifWalkTruncated, EveryPrefixKeepsTheWholeFramesBeforeTheCut) {
    const Bytes full = CGif()
                           .Screen(32, 32, 2)
                           .Application()
                           .Control(10, 2)
                           .Comment("c")
                           .Image(0, 0, 32, 32, 1, 20)
                           .Control(3, 3)
                           .PlainText()
                           .Image(5, 5, 5, 5)
                           .Trailer()
                           .bytes();
    const std::size_t all = WalkFrames(full).size();
    ASSERT_EQ(all, 3u);
    std::size_t previous = 0;
    for (std::size_t n = 0; n < full.size(); ++n) {
        SCOPED_TRACE("cut at " + std::to_string(n));
        const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        const std::size_t found = WalkFrames(cut).size();
        EXPECT_LE(found, all);
        EXPECT_GE(found, previous);
        previous = found;
    }
    EXPECT_EQ(previous, all) << "the last frame is whole once only the trailer is missing";
}

// Random damage to a good file: whatever the bytes say, every frame found
// lies inside them (WalkFrames checks that) and nothing outside is read.
TEST(GifWalkDamaged, RandomBytesNeverLeadOutsideTheData) {
    const Bytes good = CGif()
                           .Screen(16, 8, 0)
                           .Application()
                           .Control(4, 2)
                           .Image(0, 0, 16, 8, 2, 30)
                           .Comment("xyz")
                           .Control(9, 3)
                           .Image(3, 3, 2, 2)
                           .Trailer()
                           .bytes();
    std::uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (int round = 0; round < 3000; ++round) {
        Bytes damaged = good;
        const int changes = 1 + static_cast<int>(next() % 4);
        for (int k = 0; k < changes; ++k) damaged[next() % damaged.size()] = static_cast<std::uint8_t>(next());
        if (next() % 3 == 0) damaged.resize(next() % damaged.size());
        SCOPED_TRACE("round " + std::to_string(round));
        WalkFrames(damaged);
    }
}

TEST(GifFrameCount, StopsAtTheFrameLimit) {
    CGif gif;
    gif.Screen(2, 2, -1);
    for (std::size_t i = 0; i < gif::kMaxFrames + 40; ++i) gif.Control(5, 1).Image(0, 0, 1, 1);
    gif.Trailer();
    GifScreen screen;
    ASSERT_TRUE(ReadGifScreen(gif.bytes().data(), gif.bytes().size(), screen));
    EXPECT_EQ(CountGifFrames(gif.bytes().data(), gif.bytes().size(), screen), gif::kMaxFrames);
}

TEST(GifScreenDescriptor, ReadsSizeAndColourTable) {
    const Bytes gif87 = CGif().Text("GIF87a").U16(464).U16(63).U8(0x85).U8(0).U8(0).Fill(192).bytes();
    GifScreen screen;
    ASSERT_TRUE(ReadGifScreen(gif87.data(), gif87.size(), screen));
    EXPECT_EQ(screen.width, 464);
    EXPECT_EQ(screen.height, 63);
    EXPECT_EQ(screen.colorTableSize, 192u);
    EXPECT_EQ(screen.firstBlock, 13u + 192u);
}

struct SWaitCase {
    int delay;
    int milliseconds;
};

class FrameWait : public testing::TestWithParam<SWaitCase> {};

TEST_P(FrameWait, ShortDelaysAndMissingOnesShowForATenthOfASecond) {
    EXPECT_EQ(FrameWaitMilliseconds(GetParam().delay), GetParam().milliseconds);
}

INSTANTIATE_TEST_SUITE_P(Delays, FrameWait,
                         testing::Values(SWaitCase{-1, 100}, SWaitCase{0, 100}, SWaitCase{4, 100}, SWaitCase{5, 50},
                                         SWaitCase{50, 500}, SWaitCase{65535, 655350}));

}  // namespace
