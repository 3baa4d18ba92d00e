// Output lines gathered in one buffer and written out in large pieces.
#include "lineWriter.h"

#include <cerrno>   // errno, EINTR, ENOSPC
#include <unistd.h> // write

namespace spotscan {

lineWriter::lineWriter(int fd) : _fd(fd), _failed(false), _error(0), _buf()
{
    if (fd >= 0)
        _buf.reserve(2 * piece);
}

lineWriter::~lineWriter()
{
    flush();
}

bool lineWriter::flush()
{
    if (_fd < 0)
        return !_failed;
    size_t done = 0;
    while (!_failed && done < _buf.size()) {
        ssize_t n = ::write(_fd, _buf.data() + done, _buf.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            _failed = true;
            _error = n < 0 ? errno : ENOSPC;
        } else
            done += static_cast<size_t>(n);
    }
    _buf.clear();
    return !_failed;
}

} // namespace spotscan
