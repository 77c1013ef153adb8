#pragma once
// A strict reader of value change dumps (IEEE 1364), for tests: the declarations and every
// value change, refusing what the standard's grammar does not allow (an unknown keyword, a
// $var outside a scope or of the wrong width, an unbalanced $upscope, a value for an unknown
// code, a vector for a scalar or the reverse, time that does not go forward, a change before
// the first time). Test code only: the program writes these files and never reads them.
#include <cctype>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace vcdtest {

struct Var {
    std::string type;
    int size = 0;
    std::string code;
    std::string name;  // scopes and reference joined with '.': "dev1.reg20"
    std::string range;
};

struct Change {
    uint64_t time = 0;
    std::string value;  // as written, without the 'b': "1", "x", "1001000110100"
    bool initial = false;  // inside $dumpvars
};

struct Dump {
    std::string date, version, timescale;
    std::vector<Var> vars;
    std::map<std::string, std::vector<Change>> changes;  // by name, in file order
    std::vector<uint64_t> times;  // every #time, in order

    const Var* Find(const std::string& name) const {
        for (const Var& v : vars)
            if (v.name == name) return &v;
        return nullptr;
    }
    // The value a signal holds at the end of each of the dump's times, in order.
    std::vector<std::string> ValuesAtTimes(const std::string& name) const {
        std::vector<std::string> out;
        const auto it = changes.find(name);
        if (it == changes.end()) return out;
        size_t next = 0;
        std::string value;
        for (uint64_t t : times) {
            for (; next < it->second.size() && it->second[next].time <= t; ++next)
                value = it->second[next].value;
            out.push_back(value);
        }
        return out;
    }
    // The value a signal holds at the end of a time step (after all its changes there).
    std::optional<std::string> ValueAt(const std::string& name, uint64_t time) const {
        const auto it = changes.find(name);
        if (it == changes.end()) return std::nullopt;
        std::optional<std::string> value;
        for (const Change& c : it->second) {
            if (c.time > time) break;
            value = c.value;
        }
        return value;
    }
};

// A change's value as a number; nothing when it holds x or z.
inline std::optional<uint64_t> Number(const std::string& bits) {
    uint64_t v = 0;
    for (char c : bits) {
        if (c != '0' && c != '1') return std::nullopt;
        v = v * 2 + static_cast<uint64_t>(c - '0');
    }
    return v;
}

inline bool Identifier(const std::string& s) {
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
    for (char c : s)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$')) return false;
    return true;
}

inline bool ValueChar(char c) { return c == '0' || c == '1' || c == 'x' || c == 'X' || c == 'z' || c == 'Z'; }

// Parses the whole text; nothing and the reason when it is not a valid dump.
inline std::optional<Dump> Parse(const std::string& text, std::string& error) {
    std::istringstream in(text);
    std::vector<std::string> tokens;
    for (std::string t; in >> t;) tokens.push_back(t);
    size_t p = 0;
    const auto fail = [&](const std::string& why) -> std::optional<Dump> {
        error = why + " at token " + std::to_string(p) + (p < tokens.size() ? " '" + tokens[p] + "'" : "");
        return std::nullopt;
    };
    // The words of a command up to its $end.
    const auto body = [&](std::vector<std::string>& words) {
        words.clear();
        for (++p; p < tokens.size(); ++p) {
            if (tokens[p] == "$end") {
                ++p;
                return true;
            }
            words.push_back(tokens[p]);
        }
        return false;
    };
    const auto join = [](const std::vector<std::string>& w) {
        std::string s;
        for (const std::string& x : w) s += (s.empty() ? "" : " ") + x;
        return s;
    };

    Dump dump;
    std::vector<std::string> scopes;
    std::map<std::string, size_t> byCode;
    std::vector<std::string> words;
    bool defined = false;
    while (!defined) {
        if (p >= tokens.size()) return fail("no $enddefinitions");
        const std::string& k = tokens[p];
        if (k == "$comment" || k == "$date" || k == "$version") {
            if (!body(words)) return fail("unterminated " + k);
            if (k == "$date") dump.date = join(words);
            if (k == "$version") dump.version = join(words);
        } else if (k == "$timescale") {
            if (!body(words)) return fail("unterminated $timescale");
            const std::string ts = join(words);
            static const std::set<std::string> allowed = [] {
                std::set<std::string> s;
                for (const char* n : {"1", "10", "100"})
                    for (const char* u : {"s", "ms", "us", "ns", "ps", "fs"}) {
                        s.insert(std::string(n) + " " + u);
                        s.insert(std::string(n) + u);
                    }
                return s;
            }();
            if (!allowed.count(ts)) return fail("bad timescale " + ts);
            dump.timescale = ts;
        } else if (k == "$scope") {
            if (!body(words) || words.size() != 2) return fail("bad $scope");
            static const std::set<std::string> kinds = {"module", "task", "function", "begin", "fork"};
            if (!kinds.count(words[0]) || !Identifier(words[1])) return fail("bad $scope");
            scopes.push_back(words[1]);
        } else if (k == "$upscope") {
            if (!body(words) || !words.empty() || scopes.empty()) return fail("bad $upscope");
            scopes.pop_back();
        } else if (k == "$var") {
            if (!body(words) || (words.size() != 4 && words.size() != 5)) return fail("bad $var");
            if (scopes.empty()) return fail("$var outside a scope");
            static const std::set<std::string> types = {
                "event",  "integer", "parameter", "real", "reg",  "supply0", "supply1", "time", "tri",
                "triand", "trior",   "trireg",    "tri0", "tri1", "wand",    "wire",    "wor"};
            Var v;
            v.type = words[0];
            if (!types.count(v.type)) return fail("bad $var type");
            for (char c : words[1])
                if (!std::isdigit(static_cast<unsigned char>(c))) return fail("bad $var size");
            v.size = std::stoi(words[1]);
            if (v.size <= 0) return fail("bad $var size");
            v.code = words[2];
            for (char c : v.code)
                if (c < '!' || c > '~') return fail("bad identifier code");
            if (byCode.count(v.code)) return fail("code used twice");
            if (!Identifier(words[3])) return fail("bad reference");
            if (words.size() == 5) {
                v.range = words[4];
                if (v.range != "[" + std::to_string(v.size - 1) + ":0]")
                    return fail("range does not match size");
            }
            for (const std::string& s : scopes) v.name += s + ".";
            v.name += words[3];
            for (const Var& other : dump.vars)
                if (other.name == v.name) return fail("name declared twice");
            byCode[v.code] = dump.vars.size();
            dump.vars.push_back(v);
        } else if (k == "$enddefinitions") {
            if (!body(words) || !words.empty()) return fail("bad $enddefinitions");
            if (!scopes.empty()) return fail("scope left open");
            defined = true;
        } else {
            return fail("unknown declaration");
        }
    }
    if (dump.timescale.empty()) return fail("no $timescale");

    bool haveTime = false;
    uint64_t now = 0;
    std::string openCommand;  // inside $dumpvars and the like
    while (p < tokens.size()) {
        const std::string& t = tokens[p];
        if (t[0] == '#') {
            if (!openCommand.empty()) return fail("time inside " + openCommand);
            if (t.size() < 2 || t.size() > 20) return fail("bad time");
            for (size_t i = 1; i < t.size(); ++i)
                if (!std::isdigit(static_cast<unsigned char>(t[i]))) return fail("bad time");
            const uint64_t time = std::stoull(t.substr(1));
            if (haveTime && time <= now) return fail("time does not go forward");
            now = time;
            haveTime = true;
            dump.times.push_back(time);
            ++p;
        } else if (t == "$dumpvars" || t == "$dumpall" || t == "$dumpon" || t == "$dumpoff") {
            if (!openCommand.empty()) return fail("nested " + t);
            openCommand = t;
            ++p;
        } else if (t == "$end") {
            if (openCommand.empty()) return fail("$end without a command");
            openCommand.clear();
            ++p;
        } else if (t == "$comment") {
            if (!body(words)) return fail("unterminated $comment");
        } else if (t[0] == 'b' || t[0] == 'B') {
            if (!haveTime) return fail("value before the first time");
            const std::string bits = t.substr(1);
            if (bits.empty()) return fail("empty vector");
            for (char c : bits)
                if (!ValueChar(c)) return fail("bad vector");
            if (++p >= tokens.size()) return fail("vector without a code");
            const auto v = byCode.find(tokens[p]);
            if (v == byCode.end()) return fail("unknown code");
            const Var& var = dump.vars[v->second];
            if (var.size < 2) return fail("vector for a scalar");
            if (static_cast<int>(bits.size()) > var.size) return fail("vector wider than its variable");
            dump.changes[var.name].push_back({now, bits, openCommand == "$dumpvars"});
            ++p;
        } else if (ValueChar(t[0])) {
            if (!haveTime) return fail("value before the first time");
            const auto v = byCode.find(t.substr(1));
            if (v == byCode.end()) return fail("unknown code");
            const Var& var = dump.vars[v->second];
            if (var.size != 1) return fail("scalar for a vector");
            dump.changes[var.name].push_back({now, std::string(1, t[0]), openCommand == "$dumpvars"});
            ++p;
        } else {
            return fail("unknown token");
        }
    }
    if (!openCommand.empty()) return fail("unterminated " + openCommand);
    return dump;
}

}  // namespace vcdtest
