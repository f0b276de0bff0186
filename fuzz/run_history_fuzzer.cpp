// The run-history reader on any file, and its round trip: what a load keeps, a save writes and
// the next load reads back the same; every value that a line can hold survives as it is.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/run_history.h"
#include "fuzz_support.h"
#include "platform/drive_table.h"
#include "platform/file_system.h"

using namespace vlm;

namespace {

// l: is a private temporary folder for the whole fuzzing session.
void PinProgramDrive() {
    static bool pinned = false;
    if (pinned)
        return;
    char folder[] = "/tmp/velmora-fuzz-XXXXXX";
    if (mkdtemp(folder) == nullptr)
        std::abort();
    DriveTable table;
    table.Pin('l', folder);
    SetActiveDriveTable(table);
    pinned = true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    PinProgramDrive();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::uint32_t max = size > 0 ? data[0] % 40 : 5;

    FUZZ_CHECK(WriteFileAtomically(DrivePath("l:\\runoverview.his"), bytes));
    RunHistory history;
    history.MaxItems = max;
    (void)history.LoadFromFile(DrivePath("l:\\runoverview.his"));
    FUZZ_CHECK(history.Rows().size() <= max);

    FUZZ_CHECK(history.SaveToFile(DrivePath("l:\\runoverview.his")));
    RunHistory again;
    FUZZ_CHECK(again.LoadFromFile(DrivePath("l:\\runoverview.his")));
    FUZZ_CHECK(again.Rows() == history.Rows());

    // The start-up load fills short rows and writes the file back.
    RunHistory started;
    FUZZ_CHECK(started.StartupLoad(DrivePath("l:\\runoverview.his"), max).empty());
    for (const HistoryRow& row : started.Rows())
        FUZZ_CHECK(row.subItems.size() == 0 || row.subItems.size() >= 4);

    // Values are written byte for byte: any value without "|", CR and LF (which no drive path
    // and no column text holds) comes back exactly as it went in.
    std::string value;
    for (const char c : bytes) {
        if (c != '|' && c != '\r' && c != '\n')
            value += c;
    }
    (void)DeleteFile(DrivePath("l:\\value.his"));
    RunHistory written;
    FUZZ_CHECK(
        written.StartHistoryEntry(DrivePath("l:\\value.his"), value, value, value, 0).empty());
    FUZZ_CHECK(written.EndHistoryEntry(DrivePath("l:\\value.his"), value, value).empty());
    RunHistory read;
    FUZZ_CHECK(read.LoadFromFile(DrivePath("l:\\value.his")));
    FUZZ_CHECK(read.Rows().size() == 1);
    FUZZ_CHECK(read.Rows()[0] == (HistoryRow{value, {value, value, value, value}}));
    return 0;
}
