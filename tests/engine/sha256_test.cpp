// SHA-256 against known answers, the same in both builds: the standard's
// examples, the lengths where the padding spills into another block, and each
// message fed whole, a byte at a time and in odd-sized chunks through one
// hasher, which finish() must leave ready for the next.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "sha256.h"

namespace {

struct KnownAnswer {
    std::string message;
    const char* digest;
};

std::vector<KnownAnswer> KnownAnswers()
{
    return {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        // Around the 56 bytes past which the length no longer fits the last
        // block, and the block ends.
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(65, 'a'), "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0"},
        {std::string(119, 'a'), "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
        {std::string(120, 'a'), "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"},
    };
}

// Whole, a byte at a time, and sizes that straddle the 64-byte blocks.
constexpr std::size_t kChunkSizes[] = {std::string::npos, 1, 3, 55, 64, 65, 127, 4099, 65537};

Sha256Digest HashInChunks(Sha256& hash, const std::string& message, std::size_t chunk)
{
    for (std::size_t at = 0; at < message.size(); at += std::min(chunk, message.size() - at))
        hash.add(message.data() + at, std::min(chunk, message.size() - at));
    return hash.finish();
}

TEST(Sha256, KnownAnswersInEveryChunkingThroughOneHasher)
{
    Sha256 hash;
    for (const KnownAnswer& known : KnownAnswers()) {
        EXPECT_EQ(HexOf(Sha256Of(known.message)), known.digest) << known.message.size() << " bytes at once";
        for (const std::size_t chunk : kChunkSizes)
            EXPECT_EQ(HexOf(HashInChunks(hash, known.message, chunk)), known.digest)
                << known.message.size() << " bytes in chunks of " << chunk;
    }
}

TEST(Sha256, AddZerosHashesLikeAddingZeroBytes)
{
    constexpr std::int64_t kCounts[] = {0, 1, 63, 64, (64 << 10) - 1, 64 << 10, (64 << 10) + 1, (3 << 20) + 5};
    Sha256 skipped;
    Sha256 written;
    for (const std::int64_t count : kCounts) {
        const std::vector<char> zeros(static_cast<std::size_t>(count), 0);
        skipped.add("head", 4);
        skipped.addZeros(count);
        skipped.add("tail", 4);
        written.add("head", 4);
        written.add(zeros.data(), zeros.size());
        written.add("tail", 4);
        EXPECT_EQ(HexOf(skipped.finish()), HexOf(written.finish())) << count << " zeros";
    }
    skipped.addZeros(1 << 20);
    EXPECT_EQ(HexOf(skipped.finish()), "30e14955ebf1352266dc2ff8067e68104607e750abb9d3b36582b8af909fcb58");
}

TEST(Sha256, FinishAndResetStartAfresh)
{
    const char* const kAbc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    Sha256 hash;
    hash.add("earlier bytes", 13);
    hash.finish();
    hash.add("abc", 3);
    EXPECT_EQ(HexOf(hash.finish()), kAbc) << "after finish()";

    hash.add("earlier bytes", 13);
    hash.reset();
    hash.add("abc", 3);
    EXPECT_EQ(HexOf(hash.finish()), kAbc) << "after reset()";

    EXPECT_EQ(HexOf(hash.finish()), HexOf(Sha256Of(""))) << "finish() of nothing";
}

TEST(Sha256, HexOfWritesEachByteHighNibbleFirstInLowerCase)
{
    Sha256Digest digest{};
    const std::uint8_t kBytes[] = {0x00, 0x0f, 0xf0, 0xff, 0x1a, 0xb2, 0x09, 0x90};
    for (std::size_t i = 0; i < digest.size(); ++i)
        digest[i] = kBytes[i % std::size(kBytes)];
    EXPECT_EQ(HexOf(digest), "000ff0ff1ab20990000ff0ff1ab20990000ff0ff1ab20990000ff0ff1ab20990");
}

}  // namespace
