// Writes a generated tree of many small files for the small-file benchmarks: FILES files of
// 100 to 4096 bytes of text-like content in FOLDERS folders, the same bytes on every run.
//
//   lzh_make_tree DIR [FILES [FOLDERS]]     (default 100000 files in 1000 folders)
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include <sys/stat.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR [FILES [FOLDERS]]\n", argv[0]);
        return 2;
    }
    const std::string root = argv[1];
    const long files = argc > 2 ? std::atol(argv[2]) : 100000;
    const long folders = argc > 3 ? std::atol(argv[3]) : 1000;
    static const char* words[] = {"backup ",  "archive ", "folder ", "the ",  "of ",    "and ",
                                  "restore ", "int ",     "return ", "{\n",   "}\n",    "static ",
                                  "const ",   "= ",       "0;\n",    "file ", "size ",  "name ",
                                  "while ",   "for ",     "if ",     "else ", "value ", "count "};
    std::mt19937 rng(12345);
    if (::mkdir(root.c_str(), 0755) != 0 && errno != EEXIST) {
        std::perror(root.c_str());
        return 1;
    }
    for (long d = 0; d < folders; ++d) {
        const std::string folder = root + "/d" + std::to_string(d);
        if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
            std::perror(folder.c_str());
            return 1;
        }
    }
    std::string text;
    for (long i = 0; i < files; ++i) {
        const std::size_t size = 100 + rng() % (4096 - 100 + 1);
        text.clear();
        // Mostly words, with a number now and then, as in source code and notes.
        while (text.size() < size) {
            if (rng() % 8 == 0)
                text += std::to_string(rng() % 100000) + " ";
            else
                text += words[rng() % (sizeof words / sizeof *words)];
        }
        text.resize(size);
        const std::string name =
            root + "/d" + std::to_string(i % folders) + "/f" + std::to_string(i) + ".txt";
        std::FILE* f = std::fopen(name.c_str(), "wb");
        if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size()) {
            std::perror(name.c_str());
            return 1;
        }
        std::fclose(f);
    }
    return 0;
}
