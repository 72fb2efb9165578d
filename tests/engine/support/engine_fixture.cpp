#include "engine_fixture.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <sstream>

#include "checksum_list.h"
#include "join_journal.h"
#include "join_job.h"
#include "piece_names.h"
#include "split_job.h"

std::string Utf8(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path PathFromUtf8(const std::string& path)
{
    return fs::path(std::u8string(path.begin(), path.end()));
}

std::string MakeContent(std::int64_t size, std::uint32_t seed)
{
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    ASSERT_TRUE(out) << "cannot write " << path;
}

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << path;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path)
{
    std::error_code error;
    return fs::exists(fs::symlink_status(PathFromUtf8(path), error));
}

std::vector<std::string> Slices(const std::string& content, std::int64_t partSize)
{
    std::vector<std::string> slices;
    for (std::size_t at = 0; at < content.size(); at += static_cast<std::size_t>(partSize))
        slices.push_back(content.substr(at, static_cast<std::size_t>(partSize)));
    return slices;
}

std::string NotFoundText(const std::string& pieceName)
{
    return " The file \"" + pieceName + "\" was not found, make sure all files to be joined are in the same directory";
}

std::string OutputInTheWayText(const std::string& originalPath)
{
    return "The file \"" + originalPath + "\" already exists. Move or rename it, then start the join again.";
}

std::string DoesNotFitText(const std::string& pieceName)
{
    return "The file \"" + pieceName
        + "\" does not fit with the other pieces: its size is not that of a piece of this set.";
}

std::string PieceInTheWayText(const std::string& pieceName)
{
    return "The file \"" + pieceName + "\" already exists. Move it away, then start the split again.";
}

void EngineTest::SetUp()
{
    std::random_device random;
    std::ostringstream name;
    name << "vandrel-enginetest-" << std::hex << random() << random();
    dir_ = fs::temp_directory_path() / name.str();
    fs::create_directories(dir_);

    setNotificationSink(&sink_);
    setFileSystem(&files_);
    jobState.busy = 0;
    jobState.exitWhenDone = 0;
    jobState.notifyWindow = kWindow;
    jobState.splitPath.clear();
    jobState.joinPath.clear();
    jobState.partSize = 0;
    jobState.totalBytes = 0;
    jobState.bytesDone = 0;
    jobState.keep = false;
    jobState.intoFolder.clear();
    jobState.inPlace = InPlaceChoice::WhenShort;
    jobState.stopRequested = 0;
}

void EngineTest::TearDown()
{
    setNotificationSink(nullptr);
    setFileSystem(nullptr);
    jobState.busy = 0;
    jobState.notifyWindow = nullptr;
    jobState.keep = false;
    jobState.intoFolder.clear();
    jobState.inPlace = InPlaceChoice::WhenShort;
    jobState.stopRequested = 0;
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

std::string EngineTest::path(const std::string& name) const
{
    return Utf8(dir_ / PathFromUtf8(name));
}

std::vector<std::string> EngineTest::filesInDir() const
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir_))
        names.push_back(Utf8(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

void EngineTest::runSplit(const std::string& splitPath, std::int64_t partSize)
{
    jobState.splitPath = splitPath;
    jobState.partSize = partSize;
    result_ = SplitFile(jobState.splitPath);
}

void EngineTest::runJoin(const std::string& chosenPiece)
{
    jobState.joinPath = chosenPiece;
    result_ = JoinFiles(jobState.joinPath);
}

void EngineTest::expectRefused(const std::string& text, const std::string& caption) const
{
    ASSERT_EQ(sink_.events.size(), 1u) << "a refusal shows one box and posts nothing";
    const JobEvent& box = sink_.events[0];
    EXPECT_EQ(box.kind, JobEvent::Message);
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.window, kWindow);
    EXPECT_EQ(box.busy, 1);
    EXPECT_EQ(jobState.busy, 0);
}

void EngineTest::expectOutcome(const std::string& text, const std::string& caption) const
{
    const std::vector<JobEvent> boxes = sink_.messages();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, text);
    EXPECT_EQ(boxes[0].caption, caption);
    EXPECT_EQ(boxes[0].window, kWindow);
    EXPECT_EQ(boxes[0].busy, 1);

    ASSERT_GE(sink_.events.size(), 2u);
    const JobEvent& last = sink_.events.back();
    EXPECT_EQ(last.kind, JobEvent::Post);
    EXPECT_EQ(last.message, WM_JOB_FINISHED);
    EXPECT_EQ(last.busy, 1) << "WM_JOB_FINISHED comes before busy returns to 0";
    EXPECT_EQ(last.window, kWindow);
    EXPECT_EQ(sink_.events[sink_.events.size() - 2].kind, JobEvent::Message)
        << "the outcome box comes right before WM_JOB_FINISHED";
    EXPECT_EQ(sink_.posts(WM_JOB_FINISHED), 1);
    for (const JobEvent& event : sink_.events) {
        if (event.kind == JobEvent::Post) {
            EXPECT_EQ(event.window, kWindow);
        }
    }
    EXPECT_EQ(jobState.busy, 0);
}

std::string EngineTest::expectOneEnd(const std::string& caption) const
{
    const std::vector<JobEvent> boxes = sink_.messages();
    EXPECT_EQ(boxes.size(), 1u);
    if (boxes.empty())
        return {};
    EXPECT_EQ(jobState.busy, 0);
    if (sink_.posts(WM_JOB_FINISHED) == 0)
        expectRefused(boxes[0].text, caption);
    else
        expectOutcome(boxes[0].text, caption);
    return boxes[0].text;
}

void EngineTest::sweepFaults(const std::string& label, const FaultPlan& plan, const std::function<void()>& startOver,
                             const std::function<void()>& job, const std::function<void()>& check, int leastRuns)
{
    SCOPED_TRACE(label + ", " + plan.name);
    const auto failuresSoFar = [] {
        return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
    };
    std::string runsMade;
    int broken = 0;
    for (const bool inKernelCopy : {true, false}) {
        SCOPED_TRACE(inKernelCopy ? "in-kernel copy" : "read/write copy");
        const auto freshRun = [&] {
            startOver();
            sink_.events.clear();
            files_ = FaultyFileSystem();
            files_.inKernelCopy = inKernelCopy;
            if (plan.first)
                files_.failCall(plan.first->call, plan.first->nth, plan.first->filter);
        };
        freshRun();
        job();
        if (plan.first) {
            ASSERT_TRUE(files_.faultInjected()) << "the first fault never comes";
        } else {
            ASSERT_EQ(result_.outcome, JobOutcome::Succeeded) << "the job fails without a fault";
            EXPECT_EQ(files_.calls(IoCall::CopyFrom) > 0, inKernelCopy) << "the job copies in the kernel when it can";
        }
        const FaultyFileSystem counted = files_;

        int runs = 0;
        for (const IoCall call : kAllIoCalls) {
            for (int nth = counted.callsAtFirstFault(call) + 1; nth <= counted.calls(call); ++nth, ++runs) {
                SCOPED_TRACE(testing::Message() << "failing " << IoCallName(call) << " call " << nth);
                freshRun();
                if (plan.persistent)
                    files_.failCallsFrom(call, nth);
                else
                    files_.failCall(call, nth);
                job();
                ASSERT_TRUE(files_.everyFaultInjected());
                const int failuresBefore = failuresSoFar();
                check();
                broken += failuresSoFar() > failuresBefore ? 1 : 0;
            }
        }
        EXPECT_GT(runs, leastRuns);
        runsMade += runsMade.empty() ? std::to_string(runs) + " faulty runs with the in-kernel copy"
                                     : ", " + std::to_string(runs) + " with the read/write copy";
    }
    std::cout << "[ fault sweep ] " << label << ", " << plan.name << ": " << runsMade << "; " << broken
              << " broke the rule" << std::endl;
}

void PieceSetTest::useSet(std::string original, std::int64_t partSize)
{
    original_ = std::move(original);
    partSize_ = partSize;
    pieces_ = Slices(original_, partSize);
}

void PieceSetTest::writePieces(int first)
{
    // One date for all, as a split leaves them, so that every run finds them
    // agreeing on it whatever the clock's grain.
    const fs::file_time_type date = fs::file_time_type::clock::now() - std::chrono::hours(24);
    for (int i = first; i < count(); ++i) {
        WriteFileBytes(piece(i), pieces_[static_cast<std::size_t>(i)]);
        fs::last_write_time(PathFromUtf8(piece(i)), date);
    }
}

std::string PieceSetTest::piece(int index) const
{
    return path("orig.bin." + std::to_string(index) + "." + std::to_string(count()) + ".plit");
}

std::string ListTextFor(const std::string& originalPath, const std::string& content, std::int64_t partSize,
                        std::int64_t modifiedUtcNs)
{
    const std::vector<std::string> slices = Slices(content, partSize);
    const std::string countText = std::to_string(slices.size());
    const SetFacts facts{LeafOf(originalPath), static_cast<std::int64_t>(content.size()), modifiedUtcNs,
                         kModifiedFractionDigits, partSize, countText};
    std::string text = FormatListHeader(facts);
    for (std::size_t index = 0; index < slices.size(); ++index)
        text += FormatListLine({Sha256Of(slices[index]), LeafOf(PieceName(originalPath, static_cast<std::int64_t>(index), countText))});
    return text + FormatListLine({Sha256Of(content), LeafOf(originalPath)});
}

std::int64_t UtcModifiedOf(const std::string& path)
{
    const std::optional<FileIdentity> identity = platformFileSystem().identityAt(path);
    EXPECT_TRUE(identity) << path;
    return identity ? ModifiedToUtcNanoseconds(identity->modified) : 0;
}

std::vector<std::string> WithList(std::vector<std::string> names, const std::string& originalLeaf)
{
    names.push_back(ChecksumListPath(originalLeaf));
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> WithoutList(std::vector<std::string> names)
{
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string& name) { return OriginalOfList(name).has_value(); }),
                names.end());
    return names;
}

Folder EngineTest::folder() const
{
    Folder held;
    for (const std::string& name : filesInDir())
        held[name] = fs::is_directory(PathFromUtf8(path(name))) ? "(a folder)" : ReadFileBytes(path(name));
    return held;
}
