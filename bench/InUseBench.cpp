// In-use check benchmark: converts the demo catalog, and checks a database for
// other programs holding it, while N other processes hold 500 open files each
// (N = 0, 300, 3000). The check must cost the same however many processes run:
// with 3000 of them a conversion may take at most 1.2 times as long as with none.
//
//   bench_inuse [--benchmark_filter=...] [other Google Benchmark flags]
//
// BM_LookThroughProc measures the slow path for comparison: while this process
// holds the file twice itself, only a look at every process's descriptors can
// tell whether anybody else holds it.

#include "ConvertCommand.h"
#include "util/FileInUse.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kFilesEach = 500;

// Where the demo catalog lies and where the programs (and the template) are.
struct Setup {
    QString root;
    QString programDir;
};
Setup g_setup;

class YesPrompts : public ConvertPrompts {
public:
    bool ConfirmOverwrite(const QString&) override { return true; }
    void ShowError(const QString& message, const QString& cause) override
    {
        std::fprintf(stderr, "%s %s\n", qPrintable(message), qPrintable(cause));
    }
};

int CountEntries(const std::string& directory)
{
    DIR* dir = ::opendir(directory.c_str());
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(dir))
        count += entry->d_name[0] != '.';
    ::closedir(dir);
    return count;
}

// Processes that each hold the same files open, until the crowd goes. The
// files are opened here once; every child inherits the descriptors.
class Crowd {
public:
    Crowd(int processes, const QString& folder)
    {
        std::vector<int> fds;
        for (int i = 0; i < kFilesEach; ++i) {
            const QByteArray name = QFile::encodeName(folder + QStringLiteral("/Datei-%1").arg(i));
            fds.push_back(::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
        }
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        for (int i = 0; i < processes; ++i) {
            const pid_t pid = ::fork();
            if (pid < 0)
                break;
            if (pid == 0) {
                ::prctl(PR_SET_PDEATHSIG, SIGKILL);
                (void)!::write(ready[1], "1", 1);
                for (;;)
                    ::pause();
            }
            FPids.push_back(pid);
        }
        ::close(ready[1]);
        int started = 0;
        char byte;
        while (started < int(FPids.size()) && ::read(ready[0], &byte, 1) == 1)
            ++started;
        ::close(ready[0]);
        for (const int fd : fds)
            ::close(fd);
        // Every child holds the files: the last one started shows them in /proc.
        FReady = started == processes
                 && (processes == 0
                     || CountEntries("/proc/" + std::to_string(FPids.back()) + "/fd") >= kFilesEach);
    }
    ~Crowd()
    {
        for (const pid_t pid : FPids)
            ::kill(pid, SIGKILL);
        for (const pid_t pid : FPids)
            ::waitpid(pid, nullptr, 0);
    }
    Crowd(const Crowd&) = delete;
    Crowd& operator=(const Crowd&) = delete;

    bool Ready() const { return FReady; }

private:
    std::vector<pid_t> FPids;
    bool FReady = false;
};

// Runs body under a crowd of state.range(0) processes.
template <class Body>
void WithCrowd(benchmark::State& state, Body body)
{
    QTemporaryDir folder;
    const Crowd crowd(int(state.range(0)), folder.path());
    if (!crowd.Ready()) {
        state.SkipWithError("the processes could not be started");
        return;
    }
    body();
    state.counters["processes"] = double(state.range(0));
}

void BM_ConvertDemo(benchmark::State& state)
{
    WithCrowd(state, [&] {
        const ConvertRequest request{g_setup.root, QStringLiteral("Demo"), g_setup.programDir, QString()};
        YesPrompts prompts;
        for (auto _ : state) {
            if (ConvertCatalog(request, prompts).outcome != ConvertOutcome::Converted) {
                state.SkipWithError("the conversion failed");
                break;
            }
        }
    });
}

void BM_CheckDatabase(benchmark::State& state)
{
    const QString database = g_setup.root + QStringLiteral("/Demo-Music.sqlite");
    WithCrowd(state, [&] {
        for (auto _ : state) {
            if (FileUtils::CheckDatabaseNotInUse(database).ErrorCode != 0) {
                state.SkipWithError("the database is held");
                break;
            }
        }
    });
}

void BM_LookThroughProc(benchmark::State& state)
{
    const QByteArray database = QFile::encodeName(g_setup.root + QStringLiteral("/Demo-Music.sqlite"));
    WithCrowd(state, [&] {
        const int first = ::open(database.constData(), O_RDONLY | O_CLOEXEC);
        const int second = ::open(database.constData(), O_RDONLY | O_CLOEXEC);
        for (auto _ : state)
            benchmark::DoNotOptimize(FileUtils::CheckFileNotInUse(QFile::decodeName(database)));
        ::close(first);
        ::close(second);
    });
}

// The conversion runs in milliseconds: enough runs for a steady median, and
// each function runs once per crowd, so that 3000 processes start only once.
BENCHMARK(BM_ConvertDemo)->Arg(0)->Arg(300)->Arg(3000)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CheckDatabase)->Arg(0)->Arg(300)->Arg(3000)->Iterations(2000)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_LookThroughProc)->Arg(0)->Arg(300)->Arg(3000)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;

    // 3000 processes need no more descriptors each, but this one opens the
    // 500 files before it starts them.
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }

    QTemporaryDir catalogs;
    g_setup.root = catalogs.path();
    g_setup.programDir = QCoreApplication::applicationDirPath() + u'/';
    const std::string make = std::string(KK_MAKE_DEMO_CATALOG) + " '" + g_setup.root.toStdString() + "'";
    if (!catalogs.isValid() || std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "bench_inuse: the demo catalog could not be written\n");
        return 1;
    }
    // The first conversion makes the catalog file; the measured ones replace it.
    YesPrompts prompts;
    if (ConvertCatalog({g_setup.root, QStringLiteral("Demo"), g_setup.programDir, QString()}, prompts).outcome
        != ConvertOutcome::Converted)
        return 1;

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
