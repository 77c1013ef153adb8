#pragma once
// The example scripts of the simulated board's script reference (sim/SCRIPTS.md), each a
// fenced "mbs" block: the reference promises that every one runs to "Script finished".
#include <fstream>
#include <string>
#include <vector>

inline std::vector<std::string> ScriptReferenceExamples(const std::string& sourceDir) {
    std::ifstream in(sourceDir + "/sim/SCRIPTS.md");
    std::vector<std::string> scripts;
    std::string line, current;
    bool inside = false;
    while (std::getline(in, line)) {
        if (!inside && line == "```mbs") {
            inside = true;
            current.clear();
        } else if (inside && line == "```") {
            inside = false;
            scripts.push_back(current);
        } else if (inside) {
            current += line + "\n";
        }
    }
    return scripts;
}
