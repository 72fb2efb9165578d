#include "progress_line.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "size_units.h"

namespace {

constexpr int kBarWidth = 24;
// Below this the speed is mostly noise.
constexpr double kMinElapsedSeconds = 0.05;

std::string Printed(const char* format, auto... values)
{
    char text[64];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

}  // namespace

std::string FormatBytes(std::int64_t bytes)
{
    const SizeUnit* unit = std::begin(kSizeUnits);
    while (std::next(unit) != std::end(kSizeUnits) && bytes >= std::next(unit)->bytes)
        ++unit;
    const int nameLength = static_cast<int>(unit->name.size());
    if (unit->bytes == 1)
        return Printed("%lld %.*s", static_cast<long long>(bytes), nameLength, unit->name.data());
    return Printed("%.1f %.*s", static_cast<double>(bytes) / static_cast<double>(unit->bytes), nameLength,
                   unit->name.data());
}

std::string FormatDuration(std::int64_t seconds)
{
    const long long s = seconds % 60, m = seconds / 60 % 60, h = seconds / 3600;
    return h > 0 ? Printed("%lld:%02lld:%02lld", h, m, s) : Printed("%lld:%02lld", m, s);
}

std::string FormatProgressLine(std::int64_t done, std::int64_t total, double elapsedSeconds)
{
    total = std::max<std::int64_t>(total, 0);
    done = std::clamp<std::int64_t>(done, 0, total);
    const double fraction = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
    const int filled = static_cast<int>(fraction * kBarWidth);

    std::string line = "[";
    line.append(filled, '#').append(kBarWidth - filled, '.').append("]");
    line += Printed(" %3d%%", static_cast<int>(fraction * 100));
    line += "  " + FormatBytes(done) + " of " + FormatBytes(total);

    if (elapsedSeconds < kMinElapsedSeconds || done == 0) {
        line += "  -- B/s  --:-- left";
        return line;
    }
    const double bytesPerSecond = static_cast<double>(done) / elapsedSeconds;
    const auto secondsLeft = static_cast<std::int64_t>(static_cast<double>(total - done) / bytesPerSecond + 0.5);
    line += "  " + FormatBytes(static_cast<std::int64_t>(bytesPerSecond)) + "/s";
    line += "  " + FormatDuration(secondsLeft) + " left";
    return line;
}
