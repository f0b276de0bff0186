// The writers' lock: a second holder waits until the first lets go, whether it lets go by
// ending its lock or by dying, and the lock lives in a file of its own beside the locked file.

#include "platform/file_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "support/temp_drives.h"

namespace vlm {
namespace {

constexpr const char* kFile = "c:\\runoverview.his";

// Takes the lock on another thread; Taken() says whether it has it yet.
class Waiter {
public:
    Waiter()
        : thread_([this] {
              FileLock lock{DrivePath(kFile)};
              taken_ = lock.Held();
              while (!done_)
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
          }) {}
    ~Waiter() {
        done_ = true;
        thread_.join();
    }
    bool Taken() const { return taken_; }
    // Waits up to two seconds for the lock to be taken.
    bool TakenSoon() const {
        for (int i = 0; i < 400 && !taken_; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return taken_;
    }

private:
    std::atomic<bool> taken_{false};
    std::atomic<bool> done_{false};
    std::thread thread_;
};

TEST(FileLockTest, ASecondHolderWaitsUntilTheFirstLetsGo) {
    enum class LetGo { EndOfScope, ProcessKilled };
    for (const LetGo how : {LetGo::EndOfScope, LetGo::ProcessKilled}) {
        SCOPED_TRACE(how == LetGo::EndOfScope ? "end of scope" : "process killed");
        test::TempDrives drives("c");
        std::unique_ptr<FileLock> mine;
        pid_t child = -1;
        if (how == LetGo::EndOfScope) {
            mine = std::make_unique<FileLock>(DrivePath(kFile));
            ASSERT_TRUE(mine->Held());
        } else {
            int ready[2];
            ASSERT_EQ(pipe(ready), 0);
            child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                FileLock held{DrivePath(kFile)};
                const char byte = held.Held() ? 'y' : 'n';
                (void)!write(ready[1], &byte, 1);
                pause();  // killed here, the lock still held
                _exit(0);
            }
            close(ready[1]);
            char byte = 0;
            ASSERT_EQ(read(ready[0], &byte, 1), 1);
            close(ready[0]);
            ASSERT_EQ(byte, 'y');
        }
        EXPECT_TRUE(test::Exists(drives.Host(kFile) + ".lock"));
        EXPECT_FALSE(test::Exists(drives.Host(kFile)));  // the locked file is not touched

        Waiter waiter;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_FALSE(waiter.Taken());
        if (how == LetGo::EndOfScope) {
            mine.reset();
        } else {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
        EXPECT_TRUE(waiter.TakenSoon());
    }
}

TEST(FileLockTest, AFolderThatCannotTakeTheLockFileLeavesItUnheld) {
    test::TempDrives drives("c");
    FileLock lock{DrivePath("c:\\missing\\runoverview.his")};
    EXPECT_FALSE(lock.Held());
    EXPECT_EQ(FileLock::LockFilePath(DrivePath("c:\\x\\runoverview.his")).Text(),
              "c:\\x\\runoverview.his.lock");
}

}  // namespace
}  // namespace vlm
