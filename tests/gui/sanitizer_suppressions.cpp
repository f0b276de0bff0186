// Leaks the leak checker should not report in the GUI test program: memory that the system's
// font configuration library keeps for the life of the process once Qt has asked it for fonts.

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
