// Passing a stream on while collecting its lines.
#include "line_tee.h"

#include <utility> // std::move

line_tee::line_tee(std::streambuf *next, std::function<void(const std::string &)> on_line)
    : _next(next), _on_line(std::move(on_line))
{
}

void line_tee::take(const char *s, std::streamsize n)
{
    // What the callback itself writes goes on, but is no line of its own.
    if (_in_callback)
        return;
    for (std::streamsize i = 0; i < n; ++i) {
        if (s[i] != '\n') {
            _line.push_back(s[i]);
            continue;
        }
        std::string line;
        line.swap(_line);
        if (_on_line) {
            _in_callback = true;
            _on_line(line);
            _in_callback = false;
        }
    }
}

line_tee::int_type line_tee::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return _next ? _next->pubsync() == 0 ? traits_type::not_eof(c) : traits_type::eof()
                     : traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    if (_next && traits_type::eq_int_type(_next->sputc(ch), traits_type::eof()))
        return traits_type::eof();
    take(&ch, 1);
    return c;
}

std::streamsize line_tee::xsputn(const char *s, std::streamsize n)
{
    const std::streamsize written = _next ? _next->sputn(s, n) : n;
    take(s, written);
    return written;
}

int line_tee::sync()
{
    return _next ? _next->pubsync() : 0;
}
