// Writes the small demo catalog "Demo" (German texts, memos, blank fields) into a directory:
//   make-demo-catalog DIR

#include "PxWriter.h"
#include "ToolOptions.h"

#include <cstdio>
#include <filesystem>
#include <string>

using pxw::Blank;
using std::int64_t;
using std::string;

int main(int argc, char** argv)
{
    const char usage[] = "Aufruf: make-demo-catalog VERZEICHNIS\n"
                         "Schreibt den Demo-Katalog \"Demo\" (Demo-Album.db, Demo-Titel.db mit ihren .mb-Dateien)\n"
                         "in VERZEICHNIS.\n";
    if (const int exitCode = tooloptions::AnswerHelp(argc, argv, usage); exitCode >= 0)
        return exitCode;
    if (argc != 2) {
        std::fprintf(stderr, "Aufruf: make-demo-catalog VERZEICHNIS\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    for (const char* name : {"Demo-Album.db", "Demo-Album.mb", "Demo-Titel.db", "Demo-Titel.mb"})
        std::filesystem::remove(dir / name);

    try {
        pxw::TableWriter albums((dir / "Demo-Album.db").string(), pxw::AlbumFields(), {.keyFields = 1});
        albums.Add({int64_t(1), string("Wiener Philharmoniker"), string("Ludwig van Beethoven"),
                    string("Symphonie Nr. 9 d-Moll"), string("67:12"), string("K"), string("LP"), int64_t(2),
                    int64_t(1963), 29.9, 15.29, string("Musik/Klassik/Beethoven – Neunte (Karajan)")});
        albums.Add({int64_t(2), string("Die Ärzte"), Blank{}, string("Die Bestie in Menschengestalt"), string("48:05"),
                    string("R"), string("CD"), int64_t(1), int64_t(1993), 32.0, Blank{}, Blank{}});
        albums.Add({int64_t(3), string("Marlene Dietrich"), string("Friedrich Hollaender"),
                    string("Ich bin von Kopf bis Fuß auf Liebe eingestellt"), Blank{}, string("S"), string("LP"),
                    Blank{}, Blank{}, Blank{}, Blank{},
                    string("Musik/Chanson/Dietrich/Ein sehr langer Verzeichnisname, der nicht mehr in den "
                           "Vorspann des Memofelds passt und deshalb in der Memodatei steht")});
        albums.Close();

        pxw::TableWriter titles((dir / "Demo-Titel.db").string(), pxw::TitleFields());
        auto title = [&](int64_t pnr, int64_t side, int64_t no, string name, pxw::Value text, pxw::Value mp3) {
            titles.Add({pnr, side, no, std::move(name), Blank{}, Blank{}, std::move(text), Blank{}, Blank{},
                        string("3:30"), std::move(mp3)});
        };
        title(2, 1, 1, "Schrei nach Liebe", string("Du bist wirklich saudumm, darum geht's dir gut …"),
              string("02-01 Schrei nach Liebe.mp3"));
        title(1, 1, 1, "Allegro ma non troppo", Blank{}, string("01-01 Allegro.mp3"));
        title(3, 1, 1, "Ich bin von Kopf bis Fuß", string("Ich bin von Kopf bis Fuß auf Liebe eingestellt,\r\n"
                                                          "denn das ist meine Welt und sonst gar nichts."),
              Blank{});
        title(1, 2, 2, "Molto vivace", Blank{}, string("01-02 Molto vivace.mp3"));
        title(1, 2, 3, "Presto – „Freude, schöner Götterfunken“", Blank{}, Blank{});
        titles.Close();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "make-demo-catalog: %s\n", failure.what());
        return 1;
    }
    return 0;
}
