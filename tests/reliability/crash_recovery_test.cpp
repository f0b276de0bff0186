// A power cut in the middle of a run: the headless runner is killed with SIGKILL at seeded
// random moments while it copies large and small files. Whatever moment the kill hits:
//   - every destination file is the old complete copy or the new complete copy;
//   - the run log holds complete lines up to the kill, after what it held before;
//   - the next run ends "OK" with an exact mirror and nothing temporary left behind, and the
//     killed run's history row then reads "Error".
// VELMORA_CRASH_SEED replays a seed; VELMORA_CRASH_MOMENTS sets how many moments are tried.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "reliability_rig.h"
#include "support/runner_process.h"

namespace vlm {
namespace {

constexpr std::time_t kT0 = 1600000000;

int EnvNumber(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::atoi(text) : fallback;
}

// The runner over a program folder with its own drives.ini, as a person would start it.
class RunnerScene {
public:
    RunnerScene() {
        const std::string l = drives_.HostRoot('l');
        test::WriteDrivesIni(l, drives_, "cel");
        test::WriteFile(l + "/job.vlm",
                        "vlmproject=ok\r\ndestdrive=e: <Fixed>\r\ndestkind=HD\r\nconfirm=N\r\n"
                        "precalc=N\r\nlongnames=N\r\nsync=N\r\nitem1=c:\\data\r\n");
    }

    std::string Source() const { return drives_.HostRoot('c') + "/data"; }
    std::string Mirror() const { return drives_.HostRoot('e') + "/VLMcopy_drive_c/data"; }
    std::string Program() const { return drives_.HostRoot('l'); }
    std::string Base() const { return drives_.Base(); }

    // Starts the runner; its output goes to a file in the base folder.
    pid_t Start() const {
        return test::StartRunner(
            {Program() + "/job.vlm", "--program-folder", Program(), "--log-level", "extended"},
            {Base() + "/runner-output.txt", ""});
    }

    // The exit code of a run to its end, or -1 when it did not exit normally.
    int RunToEnd() const { return test::WaitForExit(Start()); }

    std::string File(const std::string& name) const {
        const std::string path = Program() + "/" + name;
        return test::Exists(path) ? test::ReadFile(path) : std::string();
    }

private:
    test::TempDrives drives_{"cel"};
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Changes the source for the next round: the large files get new bytes and a new time, a few
// small files come and go.
void ChangeSource(const RunnerScene& scene, std::mt19937& random, int round) {
    for (int i = 0; i < 3; ++i) {
        std::string bytes(3 * 1024 * 1024 + 1000 * i, '\0');
        for (std::size_t k = 0; k < bytes.size(); k += 4096)
            bytes[k] = static_cast<char>(random());
        test::WriteFile(scene.Source() + "/large" + std::to_string(i) + ".bin", bytes,
                        kT0 + 10 * round + i);
    }
    for (int i = 0; i < 60; ++i) {
        const std::string path = scene.Source() + "/small/s" + std::to_string((i + round) % 80);
        if (random() % 4 == 0) {
            test::RemoveTree(path);
            continue;
        }
        test::WriteFile(path, std::string(100 + random() % 3000, static_cast<char>('a' + i % 26)),
                        kT0 + round);
    }
}

TEST(CrashRecoveryTest, AKilledRunLosesNothingAndTheNextOneRepairs) {
    ASSERT_TRUE(std::filesystem::exists(test::BuiltRunner()))
        << test::BuiltRunner() << " is not built";
    const unsigned seed = static_cast<unsigned>(EnvNumber("VELMORA_CRASH_SEED", 20261207));
    const int moments = EnvNumber("VELMORA_CRASH_MOMENTS", 8);
    std::mt19937 random(seed);
    RunnerScene scene;

    // A first complete run; then a run over changed files like those of the rounds, to learn
    // how long such a run takes here (the first one also pays for creating the tree).
    ChangeSource(scene, random, 0);
    ASSERT_EQ(scene.RunToEnd(), 0) << scene.File("../runner-output.txt");
    ChangeSource(scene, random, 1000);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(scene.RunToEnd(), 0) << scene.File("../runner-output.txt");
    const auto runLength = std::chrono::steady_clock::now() - started;
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(runLength).count();

    int killedMidRun = 0;
    int openRowsTurnedError = 0;
    int misses = 0;
    for (int round = 1; round <= moments; ++round) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", moment " + std::to_string(round) +
                     " (VELMORA_CRASH_SEED replays it)");
        ChangeSource(scene, random, round);
        const auto before = test::Snapshot(scene.Mirror());
        const auto source = test::Snapshot(scene.Source());
        const std::string logBefore = scene.File("Vlmlogtmp.txt");

        // A run that ended before its kill narrows the window for the next moments, so that a
        // slow first measurement does not leave every kill after the end.
        const auto window = static_cast<unsigned long long>(micros) >> std::min(misses, 16);
        const auto delay = std::chrono::microseconds(random() % (window + 1));
        const pid_t pid = scene.Start();
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(delay);
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        const bool killed = WIFSIGNALED(status);
        killedMidRun += killed ? 1 : 0;
        misses = killed ? 0 : misses + 1;

        // Right after the kill: no file is a part of itself.
        const auto after = test::Snapshot(scene.Mirror());
        std::map<std::string, std::string> files;
        for (const auto& [path, bytes] : after)
            if (!IsTemporaryFileName(std::filesystem::path(path).filename().string()))
                files[path] = bytes;
        const auto bad = test::FileNeitherOldNorNew(files, before, source);
        EXPECT_FALSE(bad.has_value()) << "after the kill: " << bad.value_or("");

        // The log: what it held, then complete lines of the killed run.
        const std::string logAfter = scene.File("Vlmlogtmp.txt");
        ASSERT_EQ(logAfter.compare(0, logBefore.size(), logBefore), 0) << "the log lost lines";
        const std::string added = logAfter.substr(logBefore.size());
        if (!added.empty()) {
            EXPECT_EQ(added.substr(added.size() - 2), "\r\n") << "a torn last line";
            EXPECT_EQ(added.find('\0'), std::string::npos);
            EXPECT_EQ(added.rfind("Start time: ", 0), 0u) << added.substr(0, 80);
        }
        const std::vector<std::string> historyAfterKill = Lines(scene.File("runoverview.his"));

        // The next run repairs everything.
        ASSERT_EQ(scene.RunToEnd(), 0) << scene.File("../runner-output.txt");
        const auto mirror = test::Snapshot(scene.Mirror());
        EXPECT_TRUE(mirror == source) << test::Differences(mirror, source);
        // What the kill left half-written at the destination is gone. (A history save cut off
        // leaves its temporary file in the program folder; it holds nothing of the person's.)
        EXPECT_EQ(test::TemporaryFilesBelow(scene.Mirror()), std::vector<std::string>{});
        const std::vector<std::string> history = Lines(scene.File("runoverview.his"));
        ASSERT_GE(history.size(), 2u);
        EXPECT_NE(history[0].find("|OK|"), std::string::npos) << history[0];
        // The killed run's row, when it got as far as writing one, now reads "Error".
        if (killed && !historyAfterKill.empty() &&
            historyAfterKill[0].find("|OK|") == std::string::npos) {
            EXPECT_EQ(history[1].rfind(historyAfterKill[0], 0), 0u) << history[1];
            EXPECT_EQ(history[1].substr(history[1].size() - 7), "|Error|") << history[1];
            ++openRowsTurnedError;
        }
        // The log of the repair run follows the killed run's lines, whole.
        EXPECT_EQ(scene.File("Vlmlogtmp.txt").rfind(logAfter, 0), 0u);
    }
    std::printf(
        "[ crash    ] seed %u: %d moments tried, %d killed mid-run, %d open rows read "
        "\"Error\" after the next start, run length %lld us\n",
        seed, moments, killedMidRun, openRowsTurnedError, static_cast<long long>(micros));
    // The moments fall inside runs: the proof is not made of kills after the end.
    EXPECT_GT(openRowsTurnedError, 0);
}

}  // namespace
}  // namespace vlm
