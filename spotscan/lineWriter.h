// Output lines gathered in one buffer and written out in large pieces.
#pragma once

#include <string>

// The detector keeps its own small classes apart from the browser's.
namespace spotscan {

class lineWriter {
public:
    // Writes to the file descriptor fd; with fd < 0 everything stays in
    // memory for text().
    explicit lineWriter(int fd);
    ~lineWriter();
    lineWriter(const lineWriter &) = delete;
    lineWriter &operator=(const lineWriter &) = delete;

    // Append lines here, then call wrote().
    std::string &buffer() { return _buf; }
    // Passes the buffer on once it holds a large piece.
    void wrote()
    {
        if (_fd >= 0 && _buf.size() >= piece)
            flush();
    }
    // Writes everything held; false when any write failed.
    bool flush();
    // Drops what is held and not written yet.
    void discard() { _buf.clear(); }
    bool failed() const { return _failed; }
    // The system's error number of the failed write.
    int error() const { return _error; }
    const std::string &text() const { return _buf; }

private:
    static const size_t piece = size_t(1) << 16;
    int _fd;
    bool _failed;
    int _error;
    std::string _buf;
};

} // namespace spotscan
