#pragma once
// Generated scripts for the benchmarks.
#include <string>

// A script of exactly `lines` lines mixing declarations, labels, commands, blocks, strings
// and comments, as a long test script would.
inline std::string MakeScript(int lines) {
    std::string s;
    s.reserve(static_cast<std::size_t>(lines) * 28);
    int written = 0;
    auto line = [&](const std::string& text) {
        if (written < lines) {
            s += text;
            s += '\n';
            ++written;
        }
    };
    const int group = 17;  // lines written per round below
    line("# generated script");
    const int rounds = (lines - 3) / group;  // leaving room for the last two lines
    for (int i = 0; i < rounds; ++i) {
        const std::string n = std::to_string(i);
        line("v" + n + "      word " + n);
        line("t" + n + "      word 1 2 3");
        line("buf" + n + "    buffer 8");
        line("lbl" + n + "    copy " + std::to_string(i % 1000) + " v" + n + "   ; set up");
        line("        if v" + n + " > 3");
        line("          disp \"value %u\" v" + n);
        line("        elseif v" + n);
        line("          add 1 buf" + n + "[idx+]");
        line("        else");
        line("          bufcfg $10000");
        line("        endif");
        line("// count down");
        line("        while v" + n + " != 0");
        line("          sub 1 v" + n);
        line("        endwhile");
        line("        jmpc v" + n + " < 5 lbl" + n);
        line("        fopenr \"file" + n + ".txt\" \"%d\" t" + n + "[2]");
    }
    while (written < lines - 2) line("; filler");
    // Declared last, so that it takes location 0 and may serve as an index.
    line("idx     word 0");
    line("        stop");
    return s;
}
