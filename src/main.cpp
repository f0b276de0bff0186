#include "app/app_entry.h"

int main(int argc, char** argv) {
    return vlm::RunVelmora(argc, argv);
}
