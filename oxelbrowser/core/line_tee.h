// A stream buffer that passes everything on to another one and hands each
// complete line to a callback: the window shows standard error's lines
// while they still go to standard error.
#pragma once

#include <functional>
#include <streambuf>
#include <string>

class line_tee : public std::streambuf
{
public:
    line_tee(std::streambuf *next, std::function<void(const std::string &)> on_line);

    std::streambuf *next() const { return _next; }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char *s, std::streamsize n) override;
    int sync() override;

private:
    void take(const char *s, std::streamsize n);

    std::streambuf *_next;
    std::function<void(const std::string &)> _on_line;
    std::string _line;
    // A callback that writes to the same stream must not start another line.
    bool _in_callback = false;
};
