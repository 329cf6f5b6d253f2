// acceptance <Vorquin.exe> <group>
// Runs one group of acceptance cases against Vorquin.exe in this Wine
// prefix; exit 0 when every case passed.
#include <stdio.h>

#include <map>
#include <string>

#include "harness.h"

int main(int argc, char** argv) {
    using namespace acceptance;
    const std::map<std::string, Group> groups = {
        {"registry", RegistryGroup},
        {"command-line", CommandLineGroup},
        {"shell", ShellGroup},
        {"clipboard", ClipboardGroup},
        {"allocation-failure", AllocationFailureGroup},
    };
    auto group = argc == 3 ? groups.find(argv[2]) : groups.end();
    if (group == groups.end()) {
        fprintf(stderr, "usage: acceptance <Vorquin.exe> <group>; groups:");
        for (const auto& known : groups) fprintf(stderr, " %s", known.first.c_str());
        fprintf(stderr, "\n");
        return 2;
    }
    SetSourceProgram(argv[1]);

    // The expectations are written in code page 936.
    if (GetACP() != 936 || Gbk("失败") != "\xca\xa7\xb0\xdc") {
        fprintf(stderr, "acceptance: the ANSI code page is %u, not 936\n", GetACP());
        return 2;
    }
    if (!Install(kProgram)) return Summary(group->first);
    group->second();
    return Summary(group->first);
}
