// Build tool: creates the template catalog from its schema file.
//   make-template SCHEMA.sql OUTPUT.sqlite
// The output is written to a temporary name and renamed, so an interrupted build never leaves
// a half-made template behind.

#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <cstring>
#include <sstream>
#include <string>

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs("usage: make-template SCHEMA.sql OUTPUT.sqlite\n", stdout);
            return 0;
        }
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: make-template SCHEMA.sql OUTPUT.sqlite\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "make-template: cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream schema;
    schema << in.rdbuf();

    const std::string output = argv[2];
    const std::string temp = output + ".tmp";
    std::remove(temp.c_str());

    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(temp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    char* error = nullptr;
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, schema.str().c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        std::fprintf(stderr, "make-template: %s\n", error ? error : sqlite3_errmsg(db));
        sqlite3_free(error);
        sqlite3_close(db);
        std::remove(temp.c_str());
        return 1;
    }
    sqlite3_close(db);
    // Windows renames onto no existing file: an earlier template goes first there.
    if (std::rename(temp.c_str(), output.c_str()) != 0
        && (std::remove(output.c_str()) != 0 || std::rename(temp.c_str(), output.c_str()) != 0)) {
        std::perror("make-template");
        return 1;
    }
    return 0;
}
