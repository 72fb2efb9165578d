// Hashing on lanes: every stream's digest is that of its bytes in order,
// whatever the threads' timing, the blocks reused many times over.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine_fixture.h"
#include "hash_lanes.h"

namespace {

TEST(HashLanes, EachStreamGetsItsOwnBytesInOrder)
{
    for (const int laneCount : {1, 2, 3}) {
        SCOPED_TRACE(laneCount);
        // Streams of many blocks, of a block and a byte, and of one short block.
        std::vector<std::string> contents;
        for (std::uint32_t k = 0; k < 7; ++k)
            contents.push_back(MakeContent(k % 3 == 0 ? 9 * HashLanes::kBlockSize + 17 : HashLanes::kBlockSize + 1 - k, k + 3));
        std::vector<Sha256> hashes(contents.size());
        Sha256 all;
        {
            HashLanes lanes(laneCount);
            std::vector<std::size_t> done(contents.size(), 0);
            for (bool left = true; left;) {
                left = false;
                for (std::size_t s = 0; s < contents.size(); ++s) {
                    const int lane = static_cast<int>(s % static_cast<std::size_t>(laneCount));
                    const std::size_t rest = contents[s].size() - done[s];
                    if (rest == 0)
                        continue;
                    left = true;
                    const std::size_t bytes = std::min<std::size_t>(rest, HashLanes::kBlockSize);
                    char* block = lanes.takeBlock(lane);
                    std::memcpy(block, contents[s].data() + done[s], bytes);
                    lanes.hash(lane, block, static_cast<std::int64_t>(bytes), hashes[s], nullptr);
                    done[s] += bytes;
                }
            }
            lanes.drain();
        }
        for (std::size_t s = 0; s < contents.size(); ++s)
            EXPECT_EQ(hashes[s].finish(), Sha256Of(contents[s])) << "stream " << s;

        // One lane keeps the order across streams for a hash of them all.
        HashLanes one(1);
        std::string joined;
        for (const std::string& content : contents) {
            for (std::size_t at = 0; at < content.size(); at += HashLanes::kBlockSize) {
                const std::size_t bytes = std::min<std::size_t>(content.size() - at, HashLanes::kBlockSize);
                char* block = one.takeBlock(0);
                std::memcpy(block, content.data() + at, bytes);
                Sha256 ignored;
                one.hash(0, block, static_cast<std::int64_t>(bytes), ignored, &all);
                one.drain();
            }
            joined += content;
        }
        EXPECT_EQ(all.finish(), Sha256Of(joined));
    }
}

}  // namespace
