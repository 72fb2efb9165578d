// Times Vandrel's split and join against the tools a user would otherwise
// reach for, `split -b` and `cat`, on the same files in the same run, and
// prints the ratios. Also tells how much of Vandrel's time goes to committing
// the pieces to disk and to the checksum list (the split's hashing, the join's
// checks), and the process's peak memory.
//
// Usage: split_join_bench [DIRECTORY [MEBIBYTES [PIECES [RUNS]]]]
//        (defaults: /dev/shm 1024 10 3)

#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "file_system.h"
#include "job_messages.h"
#include "job_state.h"
#include "join_job.h"
#include "piece_names.h"
#include "split_job.h"

namespace fs = std::filesystem;

namespace {

// Remembers the job's last message, so that a run that did not succeed is caught.
class QuietSink : public JobNotificationSink {
public:
    void post(WindowHandle, unsigned) override {}
    void showMessage(WindowHandle, const std::string& text, const std::string&) override { lastMessage = text; }
    bool askYesNo(WindowHandle, const std::string&, const std::string&) override { return true; }
    std::string lastMessage;
};

// The platform's file system with the commits to disk left out, to tell their cost.
class NoCommitFileSystem : public FileSystem {
    class NoCommitFile : public File {
    public:
        explicit NoCommitFile(std::unique_ptr<File> file) : file_(std::move(file)) {}
        std::int64_t size() override { return file_->size(); }
        bool isRegularFile() override { return file_->isRegularFile(); }
        std::optional<FileIdentity> identity() override { return file_->identity(); }
        std::int64_t read(void* buffer, std::int64_t count) override { return file_->read(buffer, count); }
        bool write(const void* buffer, std::int64_t count) override { return file_->write(buffer, count); }
        // Both files come from this file system; the copy is between the platform's own.
        std::int64_t copyFrom(File& source, std::int64_t count) override
        {
            return file_->copyFrom(*static_cast<NoCommitFile&>(source).file_, count);
        }
        void startWriteback(std::int64_t, std::int64_t) override {}
        bool seek(std::int64_t offset) override { return file_->seek(offset); }
        bool truncate(std::int64_t length) override { return file_->truncate(length); }
        bool flush() override { return true; }
        bool lockExclusive() override { return file_->lockExclusive(); }
        bool close() override { return file_->close(); }
        std::int64_t position() override { return file_->position(); }
        std::optional<DataRange> dataRange(std::int64_t offset) override { return file_->dataRange(offset); }
        bool takePermissionsOf(const FileIdentity& original) override { return file_->takePermissionsOf(original); }
        bool setModified(std::int64_t modified) override { return file_->setModified(modified); }
        bool untouchedByWriters() override { return file_->untouchedByWriters(); }

    private:
        std::unique_ptr<File> file_;
    };

    static std::unique_ptr<File> NoCommit(std::unique_ptr<File> file)
    {
        return file ? std::make_unique<NoCommitFile>(std::move(file)) : nullptr;
    }

    FileSystem& platform_ = platformFileSystem();

public:
    std::unique_ptr<File> openForReading(const std::string& path) override
    {
        return NoCommit(platform_.openForReading(path));
    }
    GuardedFile openGuarded(const std::string& path) override
    {
        GuardedFile opened = platform_.openGuarded(path);
        opened.file = NoCommit(std::move(opened.file));
        return opened;
    }
    GuardedFile openForCutting(const std::string& path) override
    {
        GuardedFile opened = platform_.openForCutting(path);
        opened.file = NoCommit(std::move(opened.file));
        return opened;
    }
    bool renameNoReplace(const std::string& from, const std::string& to) override
    {
        return platform_.renameNoReplace(from, to);
    }
    std::unique_ptr<File> createNew(const std::string& path) override { return NoCommit(platform_.createNew(path)); }
    std::unique_ptr<File> openForUpdate(const std::string& path) override
    {
        return NoCommit(platform_.openForUpdate(path));
    }
    bool exists(const std::string& path) override { return platform_.exists(path); }
    bool isPlainName(const std::string& path) override { return platform_.isPlainName(path); }
    bool keepsFileIds(const std::string& path) override { return platform_.keepsFileIds(path); }
    std::optional<FileIdentity> identityAt(const std::string& path) override { return platform_.identityAt(path); }
    bool removeIfSame(const std::string& path, const FileIdentity& expected) override
    {
        return platform_.removeIfSame(path, expected);
    }
    bool commitFolder(const std::string&) override { return true; }
    std::int64_t largestFileSize(const std::string& path) override { return platform_.largestFileSize(path); }
    std::int64_t volumeFreeBytes(const std::string& path) override { return platform_.volumeFreeBytes(path); }
    std::int64_t volumeAvailableBytes(const std::string& path) override
    {
        return platform_.volumeAvailableBytes(path);
    }
    std::int64_t extentSharingBlock(const std::string& path) override { return platform_.extentSharingBlock(path); }
    std::string lastError() override { return platform_.lastError(); }
};

void Fail(const std::string& why)
{
    std::fprintf(stderr, "split_join_bench: %s\n", why.c_str());
    std::exit(1);
}

// Touches `bytes` of fresh memory and gives it back. A virtual machine hands
// memory left free for a few seconds back to its host, and the first touch of
// it then costs more than the copy that needs it (about 2 s per GiB here):
// whichever command ran first after a pause would pay for the others.
void WarmMemory(std::int64_t bytes)
{
    // In a child, so that this process's peak memory stays its own.
    const pid_t child = ::fork();
    if (child == 0) {
        void* memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory != MAP_FAILED)
            std::memset(memory, 1, bytes);
        ::_exit(memory == MAP_FAILED);
    }
    int status = 1;
    if (child < 0 || ::waitpid(child, &status, 0) != child || status != 0)
        Fail("cannot warm the memory");
}

// Seconds that `work` takes, after the dirty pages of the preparation have
// been written out, so that no run pays for another's writes, and with the
// `warmBytes` of memory warm: what it may take fresh for its output.
double Seconds(std::int64_t warmBytes, const std::function<void()>& work)
{
    ::sync();
    WarmMemory(warmBytes);
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void RunShell(const std::string& command)
{
    if (std::system(command.c_str()) != 0)
        Fail("command failed: " + command);
}

std::string Quoted(const fs::path& path)
{
    return "'" + path.string() + "'";
}

void MakeReference(const fs::path& path, std::int64_t bytes)
{
    std::vector<std::uint64_t> block(1 << 17);
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    std::ofstream out(path, std::ios::binary);
    for (std::int64_t written = 0; written < bytes;) {
        for (auto& word : block)
            word = state = state * 6364136223846793005ull + 1442695040888963407ull;
        const auto count = std::min<std::int64_t>(bytes - written, block.size() * sizeof block[0]);
        out.write(reinterpret_cast<const char*>(block.data()), count);
        written += count;
    }
    if (!out.flush())
        Fail("cannot write " + path.string());
}

double Best(const std::vector<double>& times)
{
    return *std::min_element(times.begin(), times.end());
}

}  // namespace

int main(int argc, char** argv)
{
    const fs::path directory = fs::path(argc > 1 ? argv[1] : "/dev/shm") / ("vandrel-bench-" + std::to_string(::getpid()));
    const std::int64_t size = (argc > 2 ? std::atoll(argv[2]) : 1024) << 20;
    const std::int64_t pieces = argc > 3 ? std::atoll(argv[3]) : 10;
    const int runs = argc > 4 ? std::atoi(argv[4]) : 3;
    const std::int64_t partSize = (size + pieces - 1) / pieces;
    const auto timed = [warmBytes = size + size / 4](const std::function<void()>& work) {
        return Seconds(warmBytes, work);
    };

    fs::create_directories(directory);
    const fs::path reference = directory / "reference.bin";
    const fs::path input = directory / "movie.avi";
    MakeReference(reference, size);

    QuietSink sink;
    setNotificationSink(&sink);
    NoCommitFileSystem noCommit;

    // A split moves the input into the pieces and a join moves them back, so
    // the plain tools are also timed with the deletions that make theirs a move.
    std::vector<double> vandrelSplit, vandrelSplitNoCommit, vandrelSplitNoList, coreutilsSplit, vandrelJoin,
        vandrelJoinNoList, catJoin, removeInput, removePieces;
    for (int run = 0; run < runs; ++run) {
        fs::copy_file(reference, input, fs::copy_options::overwrite_existing);
        coreutilsSplit.push_back(timed([&] {
            RunShell("split -b " + std::to_string(partSize) + " " + Quoted(input) + " " + Quoted(directory / "x."));
        }));
        catJoin.push_back(timed([&] { RunShell("cat " + Quoted(directory) + "/x.* > " + Quoted(directory / "cat.out")); }));
        removePieces.push_back(timed([&] { RunShell("rm " + Quoted(directory) + "/x.*"); }));
        removeInput.push_back(timed([&] { RunShell("rm " + Quoted(input)); }));
        fs::rename(directory / "cat.out", input);

        const auto split = [&] {
            jobState.partSize = partSize;
            SplitFile(input.string());
            if (sink.lastMessage != job_messages::kSplitSucceeded)
                Fail("split: " + sink.lastMessage);
        };
        const auto join = [&] {
            JoinFiles(PieceName(input.string(), 0, std::to_string(pieces)));
            if (sink.lastMessage != job_messages::kJoinSucceeded)
                Fail("join: " + sink.lastMessage);
        };
        setFileSystem(&noCommit);
        vandrelSplitNoCommit.push_back(timed(split));
        setFileSystem(nullptr);
        join();

        // Without the checksum list the split hashes nothing and the join checks nothing.
        jobState.writeList = false;
        vandrelSplitNoList.push_back(timed(split));
        jobState.writeList = true;
        vandrelJoinNoList.push_back(timed(join));

        vandrelSplit.push_back(timed(split));
        vandrelJoin.push_back(timed(join));
    }
    RunShell("cmp " + Quoted(reference) + " " + Quoted(input));
    fs::remove_all(directory);

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const double split = Best(vandrelSplit), join = Best(vandrelJoin);
    std::printf("%s, %lld MiB in %lld pieces, best of %d runs\n", directory.parent_path().c_str(),
                static_cast<long long>(size >> 20), static_cast<long long>(pieces), runs);
    std::printf("split: vandrel %.3f s, split -b %.3f s, ratio %.2f\n", split, Best(coreutilsSplit),
                split / Best(coreutilsSplit));
    std::printf("split without the commit to disk: %.3f s, ratio %.2f; the commit costs %.3f s\n",
                Best(vandrelSplitNoCommit), Best(vandrelSplitNoCommit) / Best(coreutilsSplit),
                split - Best(vandrelSplitNoCommit));
    std::printf("split without the list: %.3f s; the list costs the split %.3f s, ratio %.2f\n",
                Best(vandrelSplitNoList), split - Best(vandrelSplitNoList), split / Best(vandrelSplitNoList));
    std::printf("join: vandrel %.3f s, cat %.3f s, ratio %.2f\n", join, Best(catJoin), join / Best(catJoin));
    std::printf("join without the list: %.3f s; the checks cost the join %.3f s, ratio %.2f\n",
                Best(vandrelJoinNoList), join - Best(vandrelJoinNoList), join / Best(vandrelJoinNoList));
    const double splitMove = Best(coreutilsSplit) + Best(removeInput), catMove = Best(catJoin) + Best(removePieces);
    std::printf("as moves: split -b and rm %.3f s, ratio %.2f; cat and rm %.3f s, ratio %.2f\n", splitMove,
                split / splitMove, catMove, join / catMove);
    std::printf("peak memory of this process: %.1f MiB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
