#include <iostream>
#include <string>
#include <vector>

#include "app/app_entry.h"
#include "app/command_line.h"

int main(int argc, char** argv) {
    // Answered before the window system is asked for anything, so it works without a display.
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (const std::optional<std::string> answer = vlm::AnswerWithoutWindow(arguments)) {
        std::cout << *answer;
        return 0;
    }
    return vlm::RunVelmora(argc, argv);
}
