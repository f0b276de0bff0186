#include "app/app_entry.h"

#include <QApplication>
#include <QDir>
#include <vector>

#include "app/app_text.h"
#include "app/command_line.h"
#include "app/main_window.h"
#include "app/qt_dialogs.h"
#include "core/program_start.h"
#include "platform/locale_text.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "util/dialogs.h"

namespace vlm {

int RunVelmora(int argc, char** argv) {
    QApplication application(argc, argv);
    // The program ends when the main window closes or is told to end, never merely because the
    // last visible window went (a run window closing while the main window is hidden).
    QApplication::setQuitOnLastWindowClosed(false);
    InitLocaleFromEnvironment();

    // The program folder is decided before anything reads drives.ini or the settings from it.
    std::string folderError;
    const std::optional<HostPath> programFolderHost = OpenProgramFolder("", folderError);
    QtDialogs dialogs;
    SetDialogs(&dialogs);
    if (!programFolderHost) {
        dialogs.Show(BoxType::Error, Buttons::Ok, "Velmora cannot start: " + folderError);
        SetDialogs(nullptr);
        return 1;
    }

    // The arguments after the program's name, as the window system left them.
    std::vector<std::string> arguments;
    const QStringList given = QCoreApplication::arguments();
    for (qsizetype i = 1; i < given.size(); ++i)
        arguments.push_back(given[i].toStdString());
    CommandLine commandLine = CommandLine::FromArguments(arguments);
    if (const std::optional<DrivePath> project = DrivePathFromArgument(
            commandLine.projectPath, HostPath(QDir::currentPath().toStdString())))
        commandLine.projectPath = project->Text();

    // The settings file is named after the program, in the program folder, wherever that is;
    // the runner reads the same file.
    const ProgramStart start = ProgramStartIn(*programFolderHost).value_or(ProgramStart{});
    TMainF::StartOptions options;
    options.start = start;
    options.commandLine = commandLine;

    int exitCode = 0;
    {
        TMainF mainWindow(options);
        mainWindow.showMaximized();
        mainWindow.CreateHiddenDialogs();
        mainWindow.ShowRunHistory();
        mainWindow.ActOnCommandLine();
        exitCode = mainWindow.RunMessageLoop();
    }
    SetDialogs(nullptr);
    return exitCode;
}

}  // namespace vlm
