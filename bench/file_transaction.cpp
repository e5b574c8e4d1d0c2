// Licensed under the MIT licence; see LICENSE.
// One durability pass for a save of many small files against one sync per
// file. Both sides replace the same N files of 4 KiB (small smart files) in
// one folder, each through a hidden temporary beside its target:
//   batched:  the host's FileTransaction (write every temporary, stage it,
//             then one commit: the syncs side by side, the renames, one
//             folder sync);
//   per file: what each writer did on its own before, write, fsync, rename.
// The two take turns. Usage: bench_file_transaction [N...] [benchmark flags],
// N 1000 by default; 10000 takes minutes on a busy disk.
#include "BenchSupport.h"

#include "scenegraph/FileTransaction.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t FileSize = 4096;

// N files in a folder of their own, written and synced once, so that every
// run replaces existing files and none pays for the set-up's write-back.
struct Folder {
    fs::path path;
    std::vector<std::string> targets;
    std::vector<char> content = std::vector<char>(FileSize, 'x');

    explicit Folder(int files)
    {
        path = fs::temp_directory_path() / ("file-transaction-bench-" + std::to_string(::getpid()) + "-"
                                            + std::to_string(files));
        fs::create_directories(path);
        for (int i = 0; i < files; ++i) {
            targets.push_back((path / ("part" + std::to_string(i) + ".zmb")).string());
            writeFile(targets.back(), false);
        }
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY);
        ::syncfs(fd);
        ::close(fd);
    }
    ~Folder() { fs::remove_all(path); }

    bool writeFile(const std::string& file, bool sync) const
    {
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        bool ok = ::write(fd, content.data(), content.size()) == ssize_t(content.size());
        if (sync)
            ok = ::fsync(fd) == 0 && ok;
        return ::close(fd) == 0 && ok;
    }
};

Folder& folder(int files)
{
    static std::map<int, std::unique_ptr<Folder>> folders;
    std::unique_ptr<Folder>& f = folders[files];
    if (!f)
        f = std::make_unique<Folder>(files);
    return *f;
}

void BM_Batched(benchmark::State& state)
{
    const Folder& f = folder(int(state.range(0)));
    for (auto _ : state) {
        osg::FileTransaction transaction;
        for (const std::string& target : f.targets) {
            const std::string temporary = osg::FileTransaction::temporaryPathFor(target);
            if (!f.writeFile(temporary, false))
                state.SkipWithError("write failed");
            transaction.stage(temporary, target);
        }
        std::string error;
        if (!transaction.commit(error))
            state.SkipWithError(error.c_str());
    }
}

void BM_SyncPerFile(benchmark::State& state)
{
    const Folder& f = folder(int(state.range(0)));
    for (auto _ : state) {
        for (const std::string& target : f.targets) {
            const std::string temporary = osg::FileTransaction::temporaryPathFor(target);
            if (!f.writeFile(temporary, true) || ::rename(temporary.c_str(), target.c_str()) != 0)
                state.SkipWithError("write failed");
        }
    }
}

std::vector<int> g_sizes;
double g_loadBefore = 0;

void printSummary(const BenchMedians& medians)
{
    for (const int files : g_sizes) {
        const std::string n = std::to_string(files);
        const double batched = medians.real("BM_Batched/" + n);
        const double perFile = medians.real("BM_SyncPerFile/" + n);
        if (batched > 0 && perFile > 0)
            std::printf("%d files: one sync per file / one durability pass (medians, wall): %.2fx "
                        "(%.0f ms against %.0f ms)\n",
                        files, perFile / batched, perFile, batched);
    }
    std::printf("load average: %.1f before, %.1f after\n", g_loadBefore, loadAverage());
}

} // namespace

int main(int argc, char** argv)
{
    // Leading numbers are the file counts; the rest goes to the benchmark library.
    int first = 1;
    for (; first < argc && std::atoi(argv[first]) > 0; ++first)
        g_sizes.push_back(std::atoi(argv[first]));
    if (g_sizes.empty())
        g_sizes.push_back(1000);
    std::vector<char*> rest{argv[0]};
    rest.insert(rest.end(), argv + first, argv + argc);
    for (const int files : g_sizes) {
        // Fewer turns for large counts: each is seconds to minutes of syncs.
        const int repetitions = files >= 10000 ? 1 : 3;
        for (const auto& [name, function] :
             {std::pair{"BM_Batched", &BM_Batched}, std::pair{"BM_SyncPerFile", &BM_SyncPerFile}})
            benchmark::RegisterBenchmark(name, function)
                ->Arg(files)
                ->Iterations(1)
                ->Repetitions(repetitions)
                ->ReportAggregatesOnly(repetitions > 1)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
    }
    g_loadBefore = loadAverage();
    return runBenchmarks(int(rest.size()), rest.data(), printSummary, true);
}
