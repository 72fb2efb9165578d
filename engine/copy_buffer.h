#pragma once
// The one block of memory a job copies through. Its size is the job's whole
// appetite for memory, whatever the size of the file or the number of pieces.

#include <cstdint>
#include <memory>

class CopyBuffer {
public:
    static constexpr std::int64_t kSize = 128 << 10;

    CopyBuffer() : bytes_(new char[kSize]) {}
    char* data() { return bytes_.get(); }

private:
    std::unique_ptr<char[]> bytes_;
};
