// Times the project editor's folder tree on generated trees, offscreen:
//   - a folder with 5,000 sub-folders opened, folder sizes off and on (target: under 0.5 s
//     until the tree answers);
//   - opening a documents folder four levels down with folder sizes on, beside big folders:
//     the time until the tree answers, and the time until every size shown has arrived.
//
//   build-bench/bench/folder_tree_bench [--folders 5000] [--files 60000] [--reps 3]
//
// Prints one line per case with the median of the repetitions. The trees are made in a
// temporary folder pinned as drive t: and removed at the end.

#include <QApplication>
#include <QElapsedTimer>
#include <QTreeWidgetItem>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/drive_table.h"
#include "widgets/folder_tree.h"

namespace {

namespace fs = std::filesystem;

struct Options {
    int folders = 5000;
    int files = 60000;  // spread over the big folders beside the documents folder
    int reps = 3;
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (name == "--folders")
            options.folders = value;
        else if (name == "--files")
            options.files = value;
        else if (name == "--reps")
            options.reps = value;
    }
    return options;
}

// "big" and 3 → "big3". (Appending, rather than `"big" + std::to_string(3)`, which GCC 12
// warns about wrongly in optimised builds.)
std::string Numbered(const char* prefix, long n) {
    std::string name(prefix);
    name += std::to_string(n);
    return name;
}

void MakeTrees(const fs::path& root, const Options& options) {
    for (int i = 0; i < options.folders; ++i)
        fs::create_directories(root / "wide" / Numbered("folder", i));
    // Ten big folders of 50 sub-folders each beside home, as /usr and /var are beside /home.
    const int perFolder = std::max(1, options.files / 500);
    for (int big = 0; big < 10; ++big) {
        for (int sub = 0; sub < 50; ++sub) {
            const fs::path folder = root / Numbered("big", big) / Numbered("s", sub);
            fs::create_directories(folder);
            for (int f = 0; f < perFolder; ++f)
                std::ofstream(folder / Numbered("f", f)) << "some bytes of content\n";
        }
    }
    for (int d = 0; d < 20; ++d)
        fs::create_directories(root / "home" / "ann" / "Documents" / Numbered("d", d));
}

// Every folder shown (the children of opened branches) has its size in the second column.
bool AllShownSizesIn(QTreeWidgetItem* item) {
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem* child = item->child(i);
        if (child->text(1).isEmpty())
            return false;
        if (child->isExpanded() && !AllShownSizesIn(child))
            return false;
    }
    return true;
}

// No size is still to come. A tree that measures while it opens (the program before sizes were
// measured on worker threads) has none to come once it answers: the same program times both.
template <typename Tree>
bool SizesSettled(Tree& tree) {
    if constexpr (requires { tree.PendingSizes(); })
        return tree.PendingSizes() == 0;
    else
        return true;
}

struct Timing {
    double answers;   // until SetCurrentFolder returned: the tree can be used
    double complete;  // until every size shown had arrived (sizes on)
};

Timing TimeOpen(const std::string& folder, bool sizes) {
    vlm::FolderTree tree;
    tree.resize(400, 600);
    tree.show();
    tree.SetShowSizes(sizes);
    QApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    tree.SetCurrentFolder(folder);
    const double answers = clock.nsecsElapsed() / 1e9;
    if (sizes) {
        while (!SizesSettled(tree) && clock.elapsed() < 600000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    const double complete = clock.nsecsElapsed() / 1e9;
    QApplication::processEvents();
    if (sizes && !AllShownSizesIn(tree.topLevelItem(0)))
        std::printf("  (a size is missing in the tree)\n");
    return {answers, complete};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Report(const char* what, const std::vector<Timing>& timings, bool sizes) {
    std::vector<double> answers, complete;
    for (const Timing& t : timings) {
        answers.push_back(t.answers);
        complete.push_back(t.complete);
    }
    if (sizes)
        std::printf("%-52s answers after %8.3f s, all sizes after %8.3f s\n", what, Median(answers),
                    Median(complete));
    else
        std::printf("%-52s answers after %8.3f s\n", what, Median(answers));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Options options = ParseOptions(argc, argv);

    const fs::path root = fs::temp_directory_path() /
                          Numbered("velmora-tree-bench-", QCoreApplication::applicationPid());
    fs::create_directories(root);
    MakeTrees(root, options);
    vlm::DriveTable table;
    table.Pin('t', root.string());
    vlm::SetActiveDriveTable(table);

    struct Case {
        const char* what;
        const char* folder;
        bool sizes;
    };
    const std::string wide = std::to_string(options.folders) + " sub-folders";
    const std::string wideOff = "open a folder with " + wide + ", sizes off";
    const std::string wideOn = "open a folder with " + wide + ", sizes on";
    const Case cases[] = {
        {wideOff.c_str(), "t:\\wide", false},
        {wideOn.c_str(), "t:\\wide", true},
        {"open Documents 3 levels down, sizes on", "t:\\home\\ann\\Documents", true},
    };
    for (const Case& c : cases) {
        std::vector<Timing> timings;
        for (int rep = 0; rep < options.reps; ++rep)
            timings.push_back(TimeOpen(c.folder, c.sizes));
        Report(c.what, timings, c.sizes);
    }
    vlm::SetActiveDriveTable(vlm::DriveTable());
    fs::remove_all(root);
    return 0;
}
