// Reads JSON text back with an independent parser (python3's json module), so that tests check
// what a consumer sees rather than the writer's own idea of it.
#pragma once

#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace scoretest {

// The document as python3 reads it: one line per scalar in document order, "path = type value"
// (for example "tempos[0].qnpm = int 120"), and "path = {}" / "path = []" for empty containers.
// Object keys keep their order. Also runs `python3 -m json.tool` on it. Returns "INVALID: ..." when
// either refuses the text.
inline std::string describeJSON(const std::string& json) {
    static const char* script = R"PY(
import json, sys
text = open(sys.argv[1], encoding="utf-8").read()
def walk(path, v):
    if isinstance(v, Obj):
        if not v.pairs: print(path + " = {}")
        for k, x in v.pairs: walk((path + "." if path else "") + k, x)
    elif isinstance(v, list):
        if not v: print(path + " = []")
        for i, x in enumerate(v): walk("%s[%d]" % (path, i), x)
    else:
        print("%s = %s %s" % (path, type(v).__name__, json.dumps(v, ensure_ascii=False)))
class Obj:
    def __init__(self, pairs): self.pairs = pairs
walk("", json.loads(text, object_pairs_hook=Obj))
)PY";
    char pattern[] = "/tmp/score_json_XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) return "INVALID: no temporary file";
    close(fd);
    const std::filesystem::path file = pattern;
    const std::filesystem::path scriptFile = file.string() + ".py";
    std::ofstream(file, std::ios::binary) << json;
    std::ofstream(scriptFile) << script;
    std::string out;
    const std::string toolCommand = "python3 -m json.tool '" + file.string() + "' >/dev/null 2>&1";
    if (std::system(toolCommand.c_str()) != 0) {
        out = "INVALID: json.tool refused it";
    } else {
        const std::string command =
            "python3 '" + scriptFile.string() + "' '" + file.string() + "' 2>&1";
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[4096];
            size_t n;
            while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
                out.append(buffer, n);
            if (pclose(pipe) != 0) out = "INVALID: " + out;
        }
    }
    std::filesystem::remove(file);
    std::filesystem::remove(scriptFile);
    return out;
}

}  // namespace scoretest
