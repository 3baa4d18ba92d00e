// The state colour table.
#include "colour_table.h"

#include <QFile>

#include <algorithm> // std::lower_bound
#include <cctype>    // std::isxdigit
#include <cstdlib>   // std::getenv
#include <cstring>   // std::strcmp
#include <iterator>  // std::begin, std::end

namespace colour_table {

namespace {

struct named_colour {
    const char *name;
    int r, g, b;
};

// Sorted by name.
const named_colour x11_colours[] = {
#include "x11_colours.inc"
};

const struct {
    const char *name;
    int code;
} state_names[] = {{"DEFAULT", 0},   {"FORWARD", forward},   {"BACKWARD", backward},
                   {"LINEAGE", lineage}, {"ELITE", elite}, {"SELECTED", selected},
                   {"REMOVED", removed}, {"HIGHLIGHT", highlight}};

} // namespace

int code_of_key(const std::string &key)
{
    int code = 0;
    for (const auto &s : state_names)
        if (key.find(s.name) != std::string::npos)
            code |= s.code;
    return code;
}

QColor colour_of_word(const QString &word)
{
    if (word.startsWith('#')) {
        const qsizetype digits = word.size() - 1;
        if (digits != 3 && digits != 6 && digits != 9 && digits != 12)
            return QColor();
        for (qsizetype i = 1; i < word.size(); ++i)
            if (!std::isxdigit(static_cast<unsigned char>(word[i].toLatin1())))
                return QColor();
        return QColor(word);
    }
    std::string name;
    for (QChar c : word)
        if (!c.isSpace())
            name.push_back(static_cast<char>(c.toLower().toLatin1()));
    auto it = std::lower_bound(std::begin(x11_colours), std::end(x11_colours), name,
                               [](const named_colour &c, const std::string &n) {
                                   return std::strcmp(c.name, n.c_str()) < 0;
                               });
    if (it != std::end(x11_colours) && name == it->name)
        return QColor(it->r, it->g, it->b);
    return QColor();
}

void builtin(QColor table[size])
{
    for (int i = 0; i < size; ++i)
        table[i] = QColor("#ffffff");
    const struct {
        int code;
        const char *colour;
    } entries[] = {{0, "#a8a8ff"},  {1, "#b7ff00"},  {2, "#ee86ff"},  {3, "#ff8f00"},
                   {4, "#ff5555"},  {15, "#ffff00"}, {31, "#00ffda"}, {47, "#000000"},
                   {64, "#cfcfff"}, {65, "#d4ffc0"}, {66, "#f7c3ff"}, {67, "#ffb66c"},
                   {68, "#ffaaaa"}, {79, "#ffffaa"}, {95, "#8effef"}, {111, "#aaaaaa"}};
    for (const auto &e : entries)
        table[e.code] = QColor(e.colour);
}

bool load_file(const QString &path, QColor table[size])
{
    if (path.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    load_text(file.read(max_file_bytes), table);
    return true;
}

void load_text(const QByteArray &text, QColor table[size])
{
    for (int i = 0; i < size; ++i)
        table[i] = QColor(255, 255, 255);
    const QList<QByteArray> words = text.simplified().split(' ');
    for (qsizetype i = 0; i + 1 < words.size(); i += 2) {
        if (words[i].isEmpty())
            break;
        const int code = code_of_key(words[i].toStdString());
        table[code & (size - 1)] = colour_of_word(QString::fromLocal8Bit(words[i + 1]));
    }
}

QString user_file()
{
    const char *home = std::getenv("HOME");
    if (!home || !*home)
        return QString();
    return QString::fromLocal8Bit(home) + "/.oxelbrowser";
}

} // namespace colour_table
