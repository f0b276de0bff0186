#include <cstring>
#include <iostream>

#include "app/app_entry.h"

int main(int argc, char** argv) {
    // Answered before the window system is asked for anything, so it works without a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "velmora " << VELMORA_VERSION << '\n';
        return 0;
    }
    return vlm::RunVelmora(argc, argv);
}
