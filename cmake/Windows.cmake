# Windows builds (the MinGW-w64 cross build, or Qt's MinGW kit on Windows):
# Windows 7 and later, and windows.h without min/max macros or the rarely
# used parts that clash with our names.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX WIN32_LEAN_AND_MEAN)
