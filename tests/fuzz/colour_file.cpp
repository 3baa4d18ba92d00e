// Fuzz target: the per-user colour file.
#include "colour_table.h"
#include "fuzz_support.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::quiet();
    QColor table[colour_table::size];
    colour_table::load_text(
        QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)), table);
    // Every word that names a colour gives a valid one; the rest invalid, never a crash.
    const QColor c = colour_table::colour_of_word(
        QString::fromLatin1(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    if (c.isValid())
        fuzz::check(c.alpha() == 255, "colours are opaque");
    fuzz::check(colour_table::code_of_key(std::string(reinterpret_cast<const char *>(data), size)) <
                    128,
                "state codes have seven bits");
    return 0;
}
