// The state colour table: 128 colours indexed by a 7-bit ROI state code, its
// built-in values and the per-user colour file.
#pragma once

#include <QColor>
#include <QString>

#include <string>

namespace colour_table {

const int size = 128;

// State codes: bit values 1 forward-tracked, 2 backward-tracked, 4 lineage,
// 64 under the mouse; fixed codes 15 elite, 31 selected, 47 removed.
const int forward = 1;
const int backward = 2;
const int lineage = 4;
const int elite = 15;
const int selected = 31;
const int removed = 47;
const int highlight = 64;

// The OR of the codes of every state name found in the key word.
int code_of_key(const std::string &key);
// A colour word: '#' and 3, 6, 9 or 12 hex digits, or an X11 colour name
// (any case, blanks ignored). Anything else gives an invalid colour.
QColor colour_of_word(const QString &word);
void builtin(QColor table[size]);
// Reads a colour file: false (table unchanged) if it cannot be opened;
// otherwise every entry becomes white, then each key/colour pair is stored.
// Only the first max_file_bytes are read: no colour file is larger.
bool load_file(const QString &path, QColor table[size]);
const qint64 max_file_bytes = 1 << 20;
// The same on the text of a colour file.
void load_text(const QByteArray &text, QColor table[size]);
// $HOME + "/.oxelbrowser"; empty when HOME is not set.
QString user_file();

} // namespace colour_table
