// unlha: the library's command lines from a shell. The arguments are joined into one command
// line; an argument that contains blanks but no double quote is quoted first, so both
//   unlha u arc "/home/me/My Docs/*.*" -x1 -r      and
//   unlha 'u arc "/home/me/My Docs"\*.* -x1 -r'
// mean what they say. The report goes to standard output; the exit code is the result code.
#include <cstdio>
#include <string>

#include "lzh/lzh.hpp"

int main(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (i > 1) line += ' ';
        if (a.find_first_of(" \t") != std::string::npos && a.find('"') == std::string::npos)
            line += '"' + a + '"';
        else
            line += a;
    }
    lzh::Report rep;
    lzh::Status s = lzh::run_command(line, rep);
    std::string text = rep.text();
    std::fwrite(text.data(), 1, text.size(), stdout);
    return static_cast<int>(s);
}
