#include "platform/desktop_entry.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/file_system.h"
#include "platform/path_translation.h"
#include "platform/text_lines.h"

namespace vlm {

namespace {

bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

// Inside double quotes these four need a backslash in front.
bool NeedsBackslashInQuotes(char c) {
    return c == '"' || c == '`' || c == '$' || c == '\\';
}

// Characters that may not stand outside quotes in an argument.
bool IsReserved(char c) {
    static constexpr std::string_view reserved = "\t\n\"'\\><~|&;$*?#()`";
    return reserved.find(c) != std::string_view::npos;
}

// Undoes the string-value escapes; nullopt for an escape the format does not know.
std::optional<std::string> UnescapeDesktopString(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            out += value[i];
            continue;
        }
        if (++i == value.size())
            return std::nullopt;
        switch (value[i]) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                return std::nullopt;
        }
    }
    return out;
}

// Expands the field codes of one argument for a launch without files, URLs or icon: `%%` is a
// percent sign, the other codes stand for nothing. nullopt for an unknown code.
std::optional<std::string> ExpandFieldCodes(const std::string& argument) {
    static constexpr std::string_view codes = "fFuUdDnNickvm";
    std::string out;
    for (std::size_t i = 0; i < argument.size(); ++i) {
        if (argument[i] != '%') {
            out += argument[i];
            continue;
        }
        if (++i == argument.size())
            return std::nullopt;
        if (argument[i] == '%')
            out += '%';
        else if (codes.find(argument[i]) == std::string_view::npos)
            return std::nullopt;
    }
    return out;
}

// Splits an unescaped Exec line into its raw arguments (field codes not yet expanded), each with
// a mark whether it was nothing but a field code standing alone, which a launch without files
// drops altogether.
struct RawArgument {
    std::string text;
    bool quoted = false;
};

std::optional<std::vector<RawArgument>> SplitExecLine(std::string_view line) {
    std::vector<RawArgument> arguments;
    std::optional<RawArgument> current;
    bool inQuotes = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (inQuotes) {
            if (c == '"') {
                inQuotes = false;
            } else if (c == '\\') {
                if (i + 1 == line.size() || !NeedsBackslashInQuotes(line[i + 1]))
                    return std::nullopt;
                current->text += line[++i];
            } else if (c == '`' || c == '$') {
                return std::nullopt;  // must be escaped inside quotes
            } else {
                current->text += c;
            }
            continue;
        }
        if (c == ' ') {
            if (current)
                arguments.push_back(std::move(*current));
            current.reset();
            continue;
        }
        if (!current)
            current = RawArgument{};
        if (c == '"') {
            inQuotes = true;
            current->quoted = true;
        } else if (IsReserved(c)) {
            return std::nullopt;
        } else {
            current->text += c;
        }
    }
    if (inQuotes)
        return std::nullopt;
    if (current)
        arguments.push_back(std::move(*current));
    return arguments;
}

// A link name must stay one file name in its folder.
bool IsSingleFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("\\/") == std::string_view::npos;
}

// Adds an execute bit wherever the file has a read bit, as `chmod +x` under the umask would.
FileStatus MakeExecutable(const HostPath& hostPath) {
    const char* host = hostPath.Text().c_str();
    struct stat st {};
    if (::stat(host, &st) != 0) {
        return FileError{errno, hostPath.Text()};
    }
    const mode_t read = st.st_mode & (S_IRUSR | S_IRGRP | S_IROTH);
    if (::chmod(host, (st.st_mode & 07777) | S_IXUSR | (read >> 2)) != 0) {
        return FileError{errno, hostPath.Text()};
    }
    return {};
}

std::string JoinFolder(const std::string& folder, std::string_view name) {
    if (!folder.empty() && folder.back() == '\\')
        return folder + std::string(name);
    return folder + "\\" + std::string(name);
}

}  // namespace

std::optional<std::string> QuoteExecArgument(std::string_view argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (IsControl(c))
            return std::nullopt;
        if (NeedsBackslashInQuotes(c))
            quoted += '\\';
        quoted += c;
        // A percent sign would start a field code.
        if (c == '%')
            quoted += '%';
    }
    quoted += '"';
    return quoted;
}

std::string EscapeDesktopString(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        switch (text[i]) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case ' ':
                // A reader trims blanks after "=", so a leading one must be spelled out.
                out += i == 0 ? "\\s" : " ";
                break;
            default:
                out += text[i];
        }
    }
    return out;
}

std::optional<std::string> ExecValue(const std::vector<std::string>& arguments) {
    if (arguments.empty())
        return std::nullopt;
    std::string line;
    for (const auto& argument : arguments) {
        const std::optional<std::string> quoted = QuoteExecArgument(argument);
        if (!quoted)
            return std::nullopt;
        if (!line.empty())
            line += ' ';
        line += *quoted;
    }
    return EscapeDesktopString(line);
}

std::optional<std::vector<std::string>> ParseExecValue(std::string_view value) {
    const std::optional<std::string> line = UnescapeDesktopString(value);
    if (!line)
        return std::nullopt;
    const auto raw = SplitExecLine(*line);
    if (!raw)
        return std::nullopt;
    std::vector<std::string> arguments;
    for (const RawArgument& argument : *raw) {
        // A field code standing alone for the files of the launch: with none, no argument.
        const bool loneCode = !argument.quoted && argument.text.size() == 2 &&
                              argument.text[0] == '%' && argument.text[1] != '%';
        std::optional<std::string> expanded = ExpandFieldCodes(argument.text);
        if (!expanded)
            return std::nullopt;
        if (!loneCode)
            arguments.push_back(std::move(*expanded));
    }
    if (arguments.empty())
        return std::nullopt;
    return arguments;
}

std::optional<std::string> DesktopEntryValue(std::string_view text, std::string_view key) {
    bool inGroup = false;
    for (const std::string_view line : SplitLines(text)) {
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inGroup || equals == std::string_view::npos)
            continue;
        std::string_view name = line.substr(0, equals);
        while (!name.empty() && name.back() == ' ')
            name.remove_suffix(1);
        if (name != key)
            continue;
        std::string_view value = line.substr(equals + 1);
        while (!value.empty() && value.front() == ' ')
            value.remove_prefix(1);
        return std::string(value);
    }
    return std::nullopt;
}

std::optional<std::string> DesktopEntryText(std::string_view name,
                                            const std::vector<std::string>& arguments,
                                            const HostPath& workingFolder) {
    const std::optional<std::string> exec = ExecValue(arguments);
    if (!exec)
        return std::nullopt;
    std::string text = "[Desktop Entry]\n";
    text += "Type=Application\n";
    text += "Version=1.0\n";
    text += "Name=" + EscapeDesktopString(name) + "\n";
    text += "Exec=" + *exec + "\n";
    if (!workingFolder.empty())
        text += "Path=" + EscapeDesktopString(workingFolder.Text()) + "\n";
    text += "Terminal=false\n";
    return text;
}

ShortcutResult CreateShortcut(const DrivePath& target, const std::vector<std::string>& arguments,
                              const DrivePath& workingFolder, ShellFolderKind location,
                              std::string_view linkName, const TWindowsInfo& folders) {
    ShortcutResult result;
    const std::string fileName = std::string(linkName) + std::string(kLauncherExtension);
    if (location == ShellFolderKind::FullPath) {
        result.path = fileName;
    } else {
        const std::string& folder = folders.FolderOf(location);
        if (folder.empty()) {
            result.message = "No folder found to put the shortcut " + fileName + " in.";
            return result;
        }
        if (!IsSingleFileName(fileName)) {
            result.message = "The shortcut name " + fileName + " is not a valid file name.";
            return result;
        }
        result.path = JoinFolder(folder, fileName);
    }

    const std::optional<HostPath> program = ToHostPath(target);
    std::optional<HostPath> folder;
    if (!workingFolder.empty())
        folder = ToHostPath(workingFolder);
    if (!program || (!workingFolder.empty() && !folder)) {
        result.message =
            "Unable to create " + result.path + ": the program or its folder " + "is on no drive.";
        return result;
    }
    std::vector<std::string> command{program->Text()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const std::optional<std::string> text =
        DesktopEntryText(linkName, command, folder.value_or(HostPath()));
    if (!text) {
        result.message =
            "Unable to create " + result.path + ": the project path holds a control character.";
        return result;
    }

    AtomicFileWriter writer;
    FileStatus written = writer.Begin(DrivePath(result.path));
    if (written)
        written = writer.Write(*text);
    if (written)
        written = MakeExecutable(writer.TemporaryPath());
    if (written)
        written = writer.Commit();
    if (!written) {
        result.message = "Unable to create " + result.path + ". " + written.Error().Text();
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace vlm
