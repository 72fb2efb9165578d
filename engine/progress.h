#pragma once
// Progress pacing shared by both jobs: one WM_JOB_PROGRESS each time
// `bytesDone` passes a whole multiple of a hundredth of the job's size.

#include <cstdint>

class ProgressPacer {
public:
    // Sets `totalBytes` and resets `bytesDone` to 0. The step is a hundredth of
    // the total, and 1 for jobs under 100 bytes, which then post once a byte.
    explicit ProgressPacer(std::int64_t totalBytes);

    // Adds `bytes` to `bytesDone` and posts one WM_JOB_PROGRESS for every
    // multiple of the step that it reaches or passes, exactly as many as a
    // byte-at-a-time count would have posted.
    void advance(std::int64_t bytes);

    // Bytes between two posts.
    std::int64_t step() const { return step_; }

private:
    std::int64_t step_;
};
