# Turns a UTF-8 text file into a C++ source defining lxm::demo::kDemoTreeText.
file(READ ${INPUT} content HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${content}")
file(WRITE ${OUTPUT} "// Generated from data/demo_tree.txt; do not edit.\n#include <string_view>\nnamespace lxm::demo {\nstatic const char kBytes[] = {${bytes} '\\0'};\nextern const std::string_view kDemoTreeText(kBytes, sizeof(kBytes) - 1);\n}\n")
