#include "dialog_init_data.h"

#include <cstring>

namespace {

template <class T>
T ReadAt(const unsigned char* data, std::size_t at)
{
    T value;
    std::memcpy(&value, data + at, sizeof value);
    return value;
}

}  // namespace

std::vector<DialogInitEntry> ParseDialogInitData(const unsigned char* data, std::size_t size)
{
    constexpr std::size_t kHeaderSize = 2 * sizeof(std::uint16_t) + sizeof(std::uint32_t);
    std::vector<DialogInitEntry> entries;
    std::size_t at = 0;
    while (at + kHeaderSize <= size) {
        const auto controlId = ReadAt<std::uint16_t>(data, at);
        const auto message = ReadAt<std::uint16_t>(data, at + 2);
        const auto length = ReadAt<std::uint32_t>(data, at + 4);
        at += kHeaderSize;
        if (controlId == 0 || length == 0 || length > size - at || data[at + length - 1] != 0)
            break;
        entries.push_back({controlId, message, std::string(reinterpret_cast<const char*>(data + at), length - 1)});
        at += length;
    }
    return entries;
}
